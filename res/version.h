// Lumora's version, in the one place every other mention derives from.
#pragma once

#define LUMORA_VERSION_MAJOR 1
#define LUMORA_VERSION_MINOR 1
#define LUMORA_VERSION_PATCH 0
#define LUMORA_VERSION_BUILD 0
#define LUMORA_VERSION_COMMAS "1, 1, 0, 0"
#define LUMORA_VERSION_DOTTED "1.1.0"
#define LUMORA_VERSION_SHORT "1.1"
