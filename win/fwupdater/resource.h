// Resource and control ids of the updater's dialogs, icons and strings.
#pragma once

#define IDD_FIRMWAREUPDATER 101
#define IDD_PREUPDATEMESSAGE 102

// The warning icons: a button, a plug, a monitor with the power symbol.
#define IDI_WARNING_BUTTONS 110
#define IDI_WARNING_CABLES 111
#define IDI_WARNING_POWER 112

// Main dialog: the current-firmware table, the manual update controls and the progress controls. The
// automatic layout hides every control from 1001 upward until an id is missing (1040), so the ids up to
// 1039 have no gap.
#define IDC_FIRMWARE_GROUP 1001
#define IDC_DEVICE_LABEL 1002
#define IDC_DEVICE_VALUE 1003
#define IDC_PEN_LABEL 1004
#define IDC_PEN_VALUE 1005
#define IDC_TOUCH_LABEL 1006
#define IDC_TOUCH_VALUE 1007
#define IDC_BLUETOOTH_LABEL 1008
#define IDC_BLUETOOTH_VALUE 1009
#define IDC_SCALER_LABEL 1010
#define IDC_SCALER_VALUE 1011
#define IDC_SERIAL_LABEL 1012
#define IDC_SERIAL_VALUE 1013
#define IDC_PRODUCT_LABEL 1014
#define IDC_PRODUCT_VALUE 1015
#define IDC_MODE_LABEL 1016
#define IDC_MODE_VALUE 1017
#define IDC_CHECKSUM_LABEL 1018
#define IDC_CHECKSUM_VALUE 1019
#define IDC_BROWSE 1020
#define IDC_FILE 1021
#define IDC_UPDATE 1022
#define IDC_STATUS 1023
#define IDC_UPDATE_TYPE 1024
#define IDC_PROGRESS 1025
#define IDC_UPDATE_TYPE_LABEL 1026
#define IDC_FILE_LABEL 1027
#define IDC_SEPARATOR 1028
#define IDC_CORNER 1029
#define IDC_PACKAGE_HEADER 1030
#define IDC_PACKAGE_PEN 1031
#define IDC_PACKAGE_TOUCH 1032
#define IDC_PACKAGE_BLUETOOTH 1033
#define IDC_PACKAGE_SCALER 1034
#define IDC_LOADER_LABEL 1035
#define IDC_LOADER_VALUE 1036
#define IDC_WARNING_POWER 1037
#define IDC_WARNING_CABLES 1038
#define IDC_ICON_POWER 1039
#define IDC_ICON_BUTTONS 1041
#define IDC_ICON_CABLES 1042
// The third warning line has no id of its own: it is the template's one unnamed control.
#define IDC_UNNAMED (-1)

// Pre-update dialog.
#define IDC_PRE_UPDATE 1030
#define IDC_PRE_CANCEL 1031
#define IDC_PRE_WARNING_POWER 1032
#define IDC_PRE_WARNING_CABLES 1033
#define IDC_PRE_WARNING_BUTTONS 1034
