// Control identifiers of the setup window, in creation order.
#pragma once

enum {
    ID_XBE = 100,
    ID_XBE_BROWSE,
    ID_DEST,
    ID_DEST_BROWSE,
    ID_SHORTCUT,
    ID_GO,
    ID_TIMER,
    ID_L_XBE,
    ID_L_DEST,
    ID_NOTE,
    ID_SPACE,
    ID_STEP,
    ID_DETAIL
};
