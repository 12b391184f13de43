// What the host's dialogs draw with: the host's fonts and images by name,
// the theme colours of the option store, and the "Platform" texts.
#ifndef PIXBRIDGE_HOST_DIALOG_RESOURCES_H
#define PIXBRIDGE_HOST_DIALOG_RESOURCES_H

#include <QColor>
#include <QFont>
#include <QString>

#include <string>

class QImage;

namespace dialog_resources {

// A font of the host's tables ("font:gdiplus:16:normal", "font:16:bold");
// never null: an unknown name gives the application's default font.
const QFont& Font(const char* name);
// A colour of the option store "url" ("color:title:background"), or the fallback.
QColor StoreColor(const char* key, const QColor& fallback);
// Text over a coloured band: white on a dark colour, a dark grey-blue on a
// light one, so the caption stays readable whatever the theme.
QColor TextOn(const QColor& background);
// An image of the host's cache ("alert.png"); never null, maybe empty.
const QImage* Image(const char* name);
// The translation of a "Platform" text.
QString Tr(const char16_t* key);
std::u16string Tr16(const char16_t* key);

// Asserts (in debug builds, and logs in every build) that widgets are
// touched on the main thread only.
void AssertMainThread(const char* where);

}  // namespace dialog_resources

#endif  // PIXBRIDGE_HOST_DIALOG_RESOURCES_H
