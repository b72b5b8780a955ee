/* What the program shows outward and both window systems must show alike:
   the title, the menus with their texts, order and command identifiers, and
   the resource numbers. Plain #defines only, so that the Windows resource
   compiler reads this file as well as the C++ code does. */
#ifndef ZQV_APP_PROGRAM_IDS_H
#define ZQV_APP_PROGRAM_IDS_H

#define ZQV_TITLE "ZQV"
#define ZQV_MENU_RESOURCE 101

#define ZQV_CMD_BUGGER_OFF 40001
#define ZQV_CMD_STOP_START 40003
#define ZQV_CMD_NEW 40004
#define ZQV_CMD_NEW_RECORDED 40006
#define ZQV_CMD_OPEN 40007
#define ZQV_CMD_GENERATE_ONLY 40008
#define ZQV_CMD_QUERY_POSITION 40009

/* The two popups, each a title and its items in menu order; ITEM(text, id)
   is supplied by the reader (a MENUITEM line, or a C++ initialiser). */
#define ZQV_FILE_MENU_TITLE "File"
#define ZQV_FILE_MENU_ITEMS(ITEM)                  \
    ITEM("Bugger Off", ZQV_CMD_BUGGER_OFF)         \
    ITEM("&New", ZQV_CMD_NEW)                      \
    ITEM("New (&Recorded)", ZQV_CMD_NEW_RECORDED)  \
    ITEM("&Open", ZQV_CMD_OPEN)                    \
    ITEM("&Generate Only", ZQV_CMD_GENERATE_ONLY)
#define ZQV_ZOOM_MENU_TITLE "&Zoom"
#define ZQV_ZOOM_MENU_ITEMS(ITEM)              \
    ITEM("&Stop/Start", ZQV_CMD_STOP_START)    \
    ITEM("&Query Position", ZQV_CMD_QUERY_POSITION)

#endif
