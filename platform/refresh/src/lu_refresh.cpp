// The exported entry points: the check (feed -> list of newer versions) and
// the download (package -> verified file in the cache folder).
#include <refresh/lu_refresh.h>

#include "cache_file.h"
#include "digest.h"
#include "http_fetch.h"
#include "update_feed.h"
#include "url_policy.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int64_t kMaxDownloadBytes = 500LL * 1024 * 1024;
// The check is a small document: a minute is plenty even on a poor line,
// and a check that hangs would keep the user's "check for updates" waiting.
constexpr int64_t kCheckTimeLimitMs = 60 * 1000;

char* Copy(const std::string& text) { return strdup(text.c_str()); }

bool Empty(const char* text) { return !text || !*text; }

std::string FeedUrl(const LUCheckRequest& request) {
    std::string root = request.rootUrl;
    if (root.back() != '/') root += '/';
    return root + url_policy::Escape(request.brand) + "/" + url_policy::Escape(request.product) +
           "/update.xml?version=" + url_policy::Escape(request.version) +
           "&type=" + std::to_string(request.productType);
}

LUUpdateData* ToList(const std::vector<update_feed::Entry>& entries) {
    LUUpdateData* head = nullptr;
    LUUpdateData** tail = &head;
    for (const update_feed::Entry& entry : entries) {
        auto* update = static_cast<LUUpdateData*>(calloc(1, sizeof(LUUpdateData)));
        update->version = Copy(entry.version);
        update->remotePath = Copy(entry.url);
        update->md5 = Copy(entry.md5);
        update->sha256 = Copy(entry.sha256);
        LUDescriptionLine** lineTail = &update->descriptions;
        for (const std::string& text : entry.lines) {
            auto* line = static_cast<LUDescriptionLine*>(calloc(1, sizeof(LUDescriptionLine)));
            line->text = Copy(text);
            *lineTail = line;
            lineTail = &line->next;
        }
        *tail = update;
        tail = &update->next;
    }
    return head;
}

}  // namespace

extern "C" {

int32_t LUCheckForUpdate(LUUpdateData** list, const LUCheckRequest* request) {
    if (!list) return LU_BAD_ARGUMENT;
    *list = nullptr;
    if (!request || Empty(request->rootUrl) || Empty(request->brand) || Empty(request->product) ||
        !update_feed::IsVersion(request->version ? request->version : "") || !url_policy::IsUrl(request->rootUrl)) {
        return LU_BAD_ARGUMENT;
    }
    const std::string url = FeedUrl(*request);
    std::string document;
    http_fetch::Request get;
    get.url = url;
    get.maxBytes = update_feed::kMaxFeedBytes;
    get.timeLimitMs = request->deadlineSeconds > 0 ? int64_t{request->deadlineSeconds} * 1000 : kCheckTimeLimitMs;
    get.sink = [&document](const char* data, size_t size) {
        document.append(data, size);
        return true;
    };
    if (const int32_t code = http_fetch::Get(get); code != LU_OK) return code;

    std::vector<update_feed::Entry> entries;
    if (const int32_t code = update_feed::Parse(document, url, entries); code != LU_OK) return code;
    entries = update_feed::NewerThan(std::move(entries), request->version);
    if (entries.empty()) return LU_NO_NEWER_VERSION;
    *list = ToList(entries);
    return LU_OK;
}

int32_t LUDownloadUpdate(LUUpdateData* update, LUProgressFn progress, void* context) {
    if (!update || Empty(update->remotePath) || Empty(update->md5) || Empty(update->sha256)) return LU_BAD_ARGUMENT;
    free(update->localPath);
    update->localPath = nullptr;

    // The package tool takes a file only by its ".deb" name.
    std::string name = CacheFile::SafeName(url_policy::LastSegment(update->remotePath));
    if (name.empty()) name = CacheFile::SafeName(std::string("update-") + (update->version ? update->version : ""));
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".deb") != 0) name += ".deb";
    CacheFile file;
    if (const int32_t code = file.Open(name); code != LU_OK) return code;

    Digest md5(Digest::Kind::kMd5);
    Digest sha256(Digest::Kind::kSha256);
    http_fetch::Request get;
    get.url = update->remotePath;
    get.maxBytes = kMaxDownloadBytes;
    get.sink = [&](const char* data, size_t size) {
        md5.Update(data, size);
        sha256.Update(data, size);
        return file.Write(data, size);
    };
    if (progress) {
        get.progress = [progress, context](double total, double now) { return progress(context, total, now) == 0; };
    }
    if (const int32_t code = http_fetch::Get(get); code != LU_OK) return code;

    // Nothing reaches its final name unless both digests match.
    if (md5.FinishHex() != update->md5) return LU_DIGEST_MISMATCH;
    if (sha256.FinishHex() != update->sha256) return LU_DIGEST_MISMATCH;
    if (const int32_t code = file.Commit(); code != LU_OK) return code;
    update->localPath = Copy(file.Path());
    return LU_OK;
}

void LUFreeLUUpdateData(LUUpdateData* list) {
    while (list) {
        LUUpdateData* next = list->next;
        for (LUDescriptionLine* line = list->descriptions; line;) {
            LUDescriptionLine* nextLine = line->next;
            free(line->text);
            free(line);
            line = nextLine;
        }
        free(list->version);
        free(list->remotePath);
        free(list->localPath);
        free(list->md5);
        free(list->sha256);
        free(list);
        list = next;
    }
}

int32_t LUCheckDownloadFolder(char** folder) {
    if (!folder) return LU_BAD_ARGUMENT;
    *folder = nullptr;
    std::string path;
    const int32_t code = CacheFile::CheckFolder(path);
    if (!path.empty() && (code == LU_OK || code == LU_UNSAFE_FOLDER)) *folder = Copy(path);
    return code;
}

void LUStopAll(void) { http_fetch::StopAll(); }

}  // extern "C"
