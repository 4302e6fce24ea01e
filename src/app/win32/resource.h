// Resource ids of Torvo.exe.
#pragma once

#define IDD_TORVO_DIALOG 102
#define IDI_APP_ICON 128
