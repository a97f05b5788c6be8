#pragma once
// Resource identifiers shared by app.rc and the Win32 layer.
#define IDI_SNAPWICK 101
#define IDC_HANDPOINTER 102
