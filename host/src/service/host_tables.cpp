#include "host_tables.h"

#include "app/host_instance.h"

#include <canvas/utils.h>

#include <string>

HostTables::HostTables() { host_instance::Install(this); }
HostTables::~HostTables() { host_instance::Remove(this); }

HostTables& HostTables::Get() { return host_instance::Current<HostTables>(); }

void HostTables::FillFonts(float dpiScale, int languageFlag) {
    auto make = [&](int size, bool bold) {
        return std::unique_ptr<QFont>(Utils::GetHFONT(static_cast<int>(size * dpiScale), languageFlag, bold, "Arial"));
    };
    std::lock_guard<std::mutex> lock(mutex_);
    gdiplusFonts_.clear();
    fonts_.clear();
    auto both = [&](std::map<std::string, std::unique_ptr<QFont>>& table, const std::string& prefix, int size) {
        table[prefix + std::to_string(size) + ":normal"] = make(size, false);
        table[prefix + std::to_string(size) + ":bold"] = make(size, true);
    };
    for (int n = 12; n <= 21; ++n) both(gdiplusFonts_, "font:gdiplus:", n);
    for (int n = 29; n <= 31; ++n) both(gdiplusFonts_, "font:gdiplus:", n);
    for (int n : {22, 23, 26}) gdiplusFonts_["font:gdiplus:" + std::to_string(n) + ":normal"] = make(n, false);
    for (int n = 12; n <= 21; ++n) both(fonts_, "font:", n);
    fonts_["font:22:normal"] = make(22, false);
    fonts_["font:23:bold"] = make(23, true);
}

void HostTables::ClearFonts() {
    std::lock_guard<std::mutex> lock(mutex_);
    gdiplusFonts_.clear();
    fonts_.clear();
}

QFont* HostTables::FindGdiplusFont(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = gdiplusFonts_.find(name);
    return it == gdiplusFonts_.end() ? nullptr : it->second.get();
}

QFont* HostTables::FindFont(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = fonts_.find(name);
    return it == fonts_.end() ? nullptr : it->second.get();
}

size_t HostTables::GdiplusFontCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return gdiplusFonts_.size();
}

size_t HostTables::FontCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fonts_.size();
}

void HostTables::SetWindow(const std::string& name, void* window) {
    std::lock_guard<std::mutex> lock(mutex_);
    windows_[name] = window;
}

bool HostTables::FindWindow(const std::string& name, void*& window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(name);
    if (it == windows_.end()) return false;
    window = it->second;
    return true;
}
