// Resource ids, shared by the resource script and the code.
#pragma once

#define IDD_MAIN 102
#define IDI_LUMORA 107
#define IDI_LUMORA_SMALL 108
#define IDC_LOG 1000
