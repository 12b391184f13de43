/* libRefresh: finds newer versions of the product in its update feed and
 * downloads one of them, verified, into the user's cache folder.
 * The feed's format and the transport rules are described in
 * docs/update-feed.md. Every function may be called from any thread; each
 * call is independent of the others. */
#ifndef REFRESH_LU_REFRESH_H
#define REFRESH_LU_REFRESH_H

#include <stdint.h>

#if defined(REFRESH_BUILDING)
#define REFRESH_EXPORT __attribute__((visibility("default")))
#else
#define REFRESH_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. */
enum {
    LU_OK = 0,                /* the check found newer versions / the file is downloaded and verified */
    LU_CANCELLED = 1,         /* the progress function asked to stop, or LUStopAll was called */
    LU_BAD_ARGUMENT = 2,      /* a null or empty argument, or a root URL that is not a URL */
    LU_NETWORK_ERROR = 3,     /* no connection, a timeout, a transfer that broke off */
    LU_NO_NEWER_VERSION = 5,  /* the feed is valid and lists nothing newer than the running version */
    LU_HTTP_ERROR = 6,        /* the server answered with a status other than 200 */
    LU_URL_REFUSED = 7,       /* a URL (or a redirect) that is neither HTTPS nor loopback, or too many redirects */
    LU_TOO_LARGE = 8,         /* the feed is over 1 MB or the download over 500 MB */
    LU_BAD_FEED = 9,          /* the feed is not XML, not our feed, has a DTD, or misses a required field */
    LU_DIGEST_MISMATCH = 10,  /* the downloaded file's MD5 or SHA-256 is not the feed's */
    LU_FILE_ERROR = 11,       /* the cache folder or the file in it could not be made or written */
    LU_UNSAFE_FOLDER = 12     /* a folder on the way to the download folder is a link, another user's,
                                 or writable by others (see LUCheckDownloadFolder) */
};

/* One line of an update's description. */
typedef struct LUDescriptionLine {
    char* text;                       /* UTF-8 */
    struct LUDescriptionLine* next;
} LUDescriptionLine;

/* One newer version, as listed by the feed. */
typedef struct LUUpdateData {
    char* version;                    /* UTF-8, e.g. "1.2.0" */
    char* remotePath;                 /* absolute URL of the package */
    char* localPath;                  /* filled by LUDownloadUpdate on success, else null */
    char* md5;                        /* 32 lower-case hex digits */
    LUDescriptionLine* descriptions;  /* in feed order, language marker lines included */
    struct LUUpdateData* next;        /* the next older version, or null */
    char* sha256;                     /* 64 lower-case hex digits */
} LUUpdateData;

/* What LUCheckForUpdate asks about. */
typedef struct LUCheckRequest {
    const char* rootUrl;              /* the feed server's root, e.g. "https://updates.example/" */
    const char* brand;                /* UTF-8 */
    const char* product;              /* the product's display name, words separated by spaces */
    const char* version;              /* the running version, e.g. "1.1.12" */
    int32_t productType;              /* 0 standalone, 1 inside a suite */
    int32_t deadlineSeconds;          /* the whole check's time limit; 0: 60 seconds */
} LUCheckRequest;

/* Called during a download with the total size (0 while unknown) and the
 * bytes received so far. Returns 0 to go on, -2 to stop the download. */
typedef int32_t (*LUProgressFn)(void* context, double totalBytes, double downloadedBytes);

/* Fetches the feed and, on LU_OK, stores in *list the newer versions, newest
 * first (free it with LUFreeLUUpdateData). *list is null on any other code. */
REFRESH_EXPORT int32_t LUCheckForUpdate(LUUpdateData** list, const LUCheckRequest* request);

/* Downloads `update` into the cache folder and verifies it; on LU_OK its
 * localPath names the verified file. On any other code no file is left. */
REFRESH_EXPORT int32_t LUDownloadUpdate(LUUpdateData* update, LUProgressFn progress, void* context);

/* Makes and checks the folder downloads go to, as LUDownloadUpdate does.
 * Sets *folder (free it with free()) to that folder on LU_OK, to the folder
 * that failed the check on LU_UNSAFE_FOLDER, to null otherwise. */
REFRESH_EXPORT int32_t LUCheckDownloadFolder(char** folder);

/* Frees a list returned by LUCheckForUpdate (null is fine). */
REFRESH_EXPORT void LUFreeLUUpdateData(LUUpdateData* list);

/* The program is closing: every transfer running now or started later ends
 * at its next progress point with LU_CANCELLED. */
REFRESH_EXPORT void LUStopAll(void);

#ifdef __cplusplus
}
#endif

#endif /* REFRESH_LU_REFRESH_H */
