#include "module/titlebar_images.h"

const std::vector<std::string>& TitlebarImages::Keys() {
    static const std::vector<std::string> keys = {
        "caption/menu-normal.png",     "caption/menu-pressed.png",     "caption/minimize-normal.png",
        "caption/minimize-pressed.png", "caption/maximize-normal.png", "caption/maximize-pressed.png",
        "caption/restore-normal.png",  "caption/restore-pressed.png",  "caption/close-normal.png",
        "caption/close-pressed.png",
    };
    return keys;
}
