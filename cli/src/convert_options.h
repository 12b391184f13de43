// What the user asked for on the command line, read by CLI11.
#ifndef PIXBRIDGE_CLI_CONVERT_OPTIONS_H
#define PIXBRIDGE_CLI_CONVERT_OPTIONS_H

#include <cstdio>
#include <string>
#include <vector>

struct ConvertOptions {
    std::vector<std::string> inputs;  // photos and folders, as given
    std::string outputDir;            // empty: beside each photo
    bool png = false;
    int quality = 90;
    int maxSize = 0;  // the longer side of the results at most; 0: the photos' own size
    bool stripExif = false;
    bool recursive = false;
    bool json = false;
    bool quiet = false;
};

// Exit codes of the program.
enum ConvertExit : int {
    kExitConverted = 0,
    kExitSomeFailed = 1,
    kExitUsage = 2,
    kExitInterrupted = 130,  // 128 + SIGINT, as shells report Ctrl+C
};

// Reads argv into `options`. Returns -1 when the conversion should run;
// otherwise the exit code, after help or the version went to `out` or a
// usage error to `err`.
int ParseConvertOptions(int argc, const char* const* argv, ConvertOptions& options, FILE* out, FILE* err);

#endif  // PIXBRIDGE_CLI_CONVERT_OPTIONS_H
