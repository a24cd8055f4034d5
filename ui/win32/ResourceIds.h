// Resource ids of the Windows program: the window and the contact dialog
// load them, app/Fetchlet.rc gives them their pictures and dialog.
#pragma once

#define IDI_FETCHLET 102
#define IDB_BACKGROUND 103
#define IDB_INSTALL_NORMAL 104
#define IDB_INSTALL_HOVER 105
#define IDB_CLOSE_NORMAL 106
#define IDB_CLOSE_HOVER 107
#define IDB_MIN_NORMAL 108
#define IDB_MIN_HOVER 109
#define IDD_CONTACT 110

#define IDC_CONTACT_WECHAT 1001
#define IDC_CONTACT_QQ 1002
#define IDC_CONTACT_MOBILE 1003
