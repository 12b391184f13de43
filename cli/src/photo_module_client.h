// Module.Photo as the converter reaches it: loaded by the host's loader from
// the runnable tree and asked over the bus, exactly as the program asks it.
// Replies and progress notices arrive on the module's pool threads and are
// handed to one listener.
#ifndef PIXBRIDGE_CLI_PHOTO_MODULE_CLIENT_H
#define PIXBRIDGE_CLI_PHOTO_MODULE_CLIENT_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// Calls come on the module's threads, one request at a time.
class PhotoModuleListener {
public:
    virtual ~PhotoModuleListener() = default;
    // The module begins entry `index` of the current request.
    virtual void FileStarted(int64_t index) = 0;
    virtual void FileDone(const std::u16string& source, bool converted) = 0;
    // The current request has ended; nothing more comes for it.
    virtual void RequestEnded() = 0;
};

struct ConversionSettings {
    bool png = false;
    int quality = 90;
    bool keepExif = true;
    int maxEdge = 0;  // sent as "max_edge" when set
};

// The request document of LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE.
std::string BuildConversionRequest(const std::vector<std::string>& sources, const std::string& outputDir,
                                   const ConversionSettings& settings);

class PhotoModuleClient {
public:
    // Loads Module.Photo from `pluginsDir` + "Module.Photo/"; false with a
    // message when it cannot be loaded.
    static bool Load(const std::u16string& pluginsDir, std::string& error);

    // One client at a time; it receives the bus traffic until destroyed.
    explicit PhotoModuleClient(PhotoModuleListener* listener);
    ~PhotoModuleClient();
    PhotoModuleClient(const PhotoModuleClient&) = delete;
    PhotoModuleClient& operator=(const PhotoModuleClient&) = delete;

    // Posts a conversion request. Returns the id of the task event that
    // runs it, or empty when no module took the request.
    std::string Convert(const std::string& requestJson);
    // Asks the module to stop the request before its next file.
    static bool Stop(const std::string& eventId);
};

#endif  // PIXBRIDGE_CLI_PHOTO_MODULE_CLIENT_H
