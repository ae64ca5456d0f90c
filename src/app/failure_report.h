#pragma once

// Tells the user, in a message box, that the system call named by `what`
// (such as "socket()") failed, with the thread's last-error code and the
// system's description of it.
void ReportFailure(const char* what);
