// The host's fonts and module windows by name.
#ifndef PIXBRIDGE_HOST_HOST_TABLES_H
#define PIXBRIDGE_HOST_HOST_TABLES_H

#include <QFont>

#include <map>
#include <memory>
#include <mutex>
#include <string>

class HostTables {
public:
    HostTables();
    ~HostTables();
    HostTables(const HostTables&) = delete;
    HostTables& operator=(const HostTables&) = delete;
    // The host's instance (owned by the host application).
    static HostTables& Get();

    // Both tables, every font face "Arial" at scaled(N) pixels: 29 of the
    // "font:gdiplus:N:weight" family and 22 of the "font:N:weight" family.
    void FillFonts(float dpiScale, int languageFlag);
    // Fonts belong to the window system: they go before it does.
    void ClearFonts();
    QFont* FindGdiplusFont(const std::string& name) const;
    QFont* FindFont(const std::string& name) const;
    size_t GdiplusFontCount() const;
    size_t FontCount() const;

    void SetWindow(const std::string& name, void* window);
    // False (and `window` untouched) when the name is not in the table.
    bool FindWindow(const std::string& name, void*& window) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::unique_ptr<QFont>> gdiplusFonts_;
    std::map<std::string, std::unique_ptr<QFont>> fonts_;
    std::map<std::string, void*> windows_;
};

#endif  // PIXBRIDGE_HOST_HOST_TABLES_H
