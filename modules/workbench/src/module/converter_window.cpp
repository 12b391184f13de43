#include "module/converter_window.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/bas_json.h>
#include <pixbridge/command_names.h>

#include <glog/logging.h>
#include <rapidjson/document.h>

#include <cmath>
#include <cstring>
#include <limits>

ConverterWindow::ConverterWindow(ModuleBus bus) : bus_(bus) {}

void ConverterWindow::QueryDpiScale() {
    ModuleCommand query = MakeCommand(LIBPLATFORM_COMMAND_GET_DPI_SCALE_PERCENT);
    if (!bus_.Post(query) || query.result == nullptr) return;
    // The host allocates the float for us; it is ours to release.
    std::unique_ptr<float> scale(static_cast<float*>(query.result));
    // A scale that is not a positive number would collapse or flip every
    // length of the layout; keep the base scale instead.
    if (std::isfinite(*scale) && *scale > 0.0f) {
        dpiScale_.store(*scale);
    } else {
        LOG(WARNING) << "ignoring display scale " << *scale;
    }
}

bool ConverterWindow::ParseRect(const char* json, WindowRect& rect) {
    if (json == nullptr) return false;
    rapidjson::Document doc;
    if (!ParseJsonText(doc, json, strlen(json)) || !doc.IsObject()) return false;
    auto it = doc.FindMember("rect");
    if (it == doc.MemberEnd() || !it->value.IsArray() || it->value.Size() != 4) return false;
    int64_t v[4];
    for (rapidjson::SizeType i = 0; i < 4; ++i) {
        const rapidjson::Value& item = it->value[i];
        if (!item.IsInt()) return false;
        v[i] = item.GetInt();
    }
    // left + width and top + height must stay representable.
    const int64_t right = v[0] + v[2];
    const int64_t bottom = v[1] + v[3];
    if (right > std::numeric_limits<int32_t>::max() || right < std::numeric_limits<int32_t>::min() ||
        bottom > std::numeric_limits<int32_t>::max() || bottom < std::numeric_limits<int32_t>::min()) {
        return false;
    }
    rect.left = static_cast<int32_t>(v[0]);
    rect.top = static_cast<int32_t>(v[1]);
    rect.right = static_cast<int32_t>(right);
    rect.bottom = static_cast<int32_t>(bottom);
    return true;
}

void ConverterWindow::ClientSize(const WindowRect& rect, int32_t hostWidth, int32_t hostHeight, int32_t& width,
                                 int32_t& height) {
    // A host area smaller than the window's offset gives an empty client
    // area, not a negative one.
    width = hostWidth > 0 ? hostWidth : 0;
    height = hostHeight - rect.top > 0 ? hostHeight - rect.top : 0;
}

void ConverterWindow::HandleCreate(const ModuleCommand& command) {
    if (created_) return;
    created_ = true;

    QueryDpiScale();
    if (factory_) delegate_ = factory_();

    WindowRect rect;
    if (!ParseRect(command.text, rect)) {
        // Without its four numbers the window has no place; the host always
        // sends them, so this is a broken manifest, not a user action.
        LOG(ERROR) << "LIBCONVERTER_COMMAND_CREATE_WINDOW without a usable \"rect\": "
                   << (command.text ? command.text : "(no text)");
        return;
    }
    rect_ = rect;
    hasRect_ = true;
    if (!delegate_) return;
    delegate_->CreateWindow(command.window, rect_);
    if (!waitingPaths_.empty()) {
        std::vector<std::u16string> paths;
        paths.swap(waitingPaths_);
        delegate_->AddDroppedPaths(paths);
    }
}

void ConverterWindow::HandleSizeChange(const ModuleCommand& command) {
    if (!delegate_ || !hasRect_ || command.window == nullptr || command.data == nullptr) return;
    int32_t size[2];
    memcpy(size, command.data, sizeof size);
    int32_t width = 0, height = 0;
    ClientSize(rect_, size[0], size[1], width, height);
    delegate_->ResizeClient(width, height);
}

bool ConverterWindow::ParseOpenFiles(const char* json, std::vector<std::u16string>& paths) {
    if (json == nullptr) return false;
    rapidjson::Document doc;
    doc.Parse(json);
    if (doc.HasParseError() || !doc.IsArray()) return false;
    std::vector<std::u16string> parsed;
    for (const rapidjson::Value& item : doc.GetArray()) {
        if (!item.IsString() || item.GetStringLength() == 0 || item.GetString()[0] != '/') return false;
        const std::string utf8(item.GetString(), item.GetStringLength());
        // A NUL inside would cut the path short wherever it is used as a C text.
        if (utf8.find('\0') != std::string::npos) return false;
        std::u16string path = BASUtilityString::Utf8ToUtf16(utf8);
        if (path.empty() || BASUtilityString::Utf16ToUtf8(path) != utf8) return false;  // not valid UTF-8
        parsed.push_back(std::move(path));
    }
    paths.insert(paths.end(), parsed.begin(), parsed.end());
    return true;
}

void ConverterWindow::HandleOpenFiles(const ModuleCommand& command) {
    std::vector<std::u16string> paths;
    if (!ParseOpenFiles(command.text, paths)) {
        LOG(ERROR) << "LIBCONVERTER_COMMAND_OPEN_FILES without a usable array of paths";
        return;
    }
    if (paths.empty()) return;
    // The photos of a start with --open may come before the host asked for
    // the window; they wait for it instead of being lost.
    if (!delegate_ || !hasRect_) {
        waitingPaths_.insert(waitingPaths_.end(), paths.begin(), paths.end());
        return;
    }
    delegate_->AddDroppedPaths(paths);
}
