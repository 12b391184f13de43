// Photos handed to the program with --open (the desktop's "Open with"):
// the split of the command line between the launcher file and the photos,
// the hand-over from a second launch to the copy that already runs, and
// that copy's end of the channel, a per-user local socket.
#ifndef PIXBRIDGE_HOST_OPEN_REQUEST_CHANNEL_H
#define PIXBRIDGE_HOST_OPEN_REQUEST_CHANNEL_H

#include <QObject>

#include <functional>
#include <string>
#include <vector>

class QLocalServer;
class QWidget;

namespace open_request {

constexpr const char* kOpenArgument = "--open";

struct LaunchArguments {
    // The arguments before --open, with their old meaning: the first one
    // names the launcher ("suite") file.
    std::vector<std::string> settings;
    // Everything after --open, made absolute against the launch's own
    // working folder (the running copy has another).
    std::vector<std::string> openFiles;
    bool open = false;
};

LaunchArguments SplitLaunchArguments(const std::vector<std::string>& arguments);

// The socket beside the instance lock, in the run folder (run_folder::Path):
// never in a folder another user could make first. Empty when no such
// place exists.
std::string SocketPath(const std::string& instanceName);

// A JSON array of paths, as LIBCONVERTER_COMMAND_OPEN_FILES carries them.
// Decoding refuses anything but an array of absolute paths.
std::string EncodePaths(const std::vector<std::string>& paths);
bool DecodePaths(const std::string& json, std::vector<std::string>& paths);

// What a second launch hands over: its photos, and the token its launcher
// gave it to bring a window to the front (on Wayland only the launcher's
// token lets the running copy take the focus).
struct OpenRequest {
    std::vector<std::string> paths;
    std::string activationToken;
};
// One line on the socket: {"paths": [...], "activation_token": "..."}. A bare
// array of paths (a launch of an earlier build) is read as paths without a
// token; a token that is not printable ASCII is dropped.
std::string EncodeRequest(const OpenRequest& request);
bool DecodeRequest(const std::string& json, OpenRequest& request);
// The token this launch was given: XDG_ACTIVATION_TOKEN from a Wayland
// launcher, else the X11 launcher's DESKTOP_STARTUP_ID; empty when none.
std::string LaunchActivationToken();

// The second launch: hands `files` (and the launch's activation token) to
// the copy listening at `socketPath`, which must belong to this user. Waits
// up to `timeoutMs` for it to listen (it may still be starting) and to confirm.
bool HandToRunningCopy(const std::string& socketPath, const std::vector<std::string>& files, int timeoutMs,
                       std::string& error, const std::string& activationToken = std::string());

// Shows the window in front, restored if it was minimised. On Wayland the
// compositor lets it take the focus with a launcher's activation token.
void RaiseWindow(QWidget* window, const std::string& activationToken = std::string());

// The running copy's end. The handler runs on the thread that owns the
// server (the main thread) with each request's paths.
class OpenRequestServer : public QObject {
public:
    using Handler = std::function<void(const OpenRequest& request)>;
    static constexpr int kMaxRequestBytes = 4 << 20;
    static constexpr int kRequestTimeoutMs = 5000;

    explicit OpenRequestServer(Handler handler, QObject* parent = nullptr);
    ~OpenRequestServer() override;

    // Listens at `socketPath`, replacing a socket a crashed copy left
    // behind: the caller holds the instance lock, so no live copy owns it.
    bool Listen(const std::string& socketPath);

private:
    void Accept();

    Handler handler_;
    QLocalServer* server_;
};

}  // namespace open_request

#endif  // PIXBRIDGE_HOST_OPEN_REQUEST_CHANNEL_H
