#include "convert_options.h"

#include "console_report.h"

#include <CLI/CLI.hpp>

#include <sstream>

namespace {

constexpr const char* kDescription =
    "Converts HEIC photos to JPEG or PNG through the same photo module as Quillmarsh Pix Bridge.\n"
    "Folders are searched for files ending in .heic (any case); other files there are skipped.\n"
    "Existing files are never replaced: a taken name gets \" (1)\", \" (2)\" ... before its extension.\n"
    "Results keep the photo's modification time.\n"
    "With -r and -o, the sub-folders are made again under the output folder; with several folders,\n"
    "each goes into a folder of its own name there. Photos named on their own go into the output folder.\n";

constexpr const char* kFooter =
    "\nExit status: 0 all converted, 1 some failed, 2 usage error, 130 stopped by Ctrl+C.\n"
    "\nExamples:\n"
    "  pixbridge-convert IMG_0001.HEIC                 IMG_0001.JPG beside the photo\n"
    "  pixbridge-convert -o ~/Converted ~/Pictures     every .heic of ~/Pictures into ~/Converted\n"
    "  pixbridge-convert -r -f png --json DCIM > log   PNG files, one JSON line per photo\n"
    "  pixbridge-convert --max-size 2048 -o web DCIM   JPEG files at most 2048 pixels on their longer side\n"
    "  pixbridge-convert -r -o ~/Out DCIM Camera       ~/Out/DCIM/... and ~/Out/Camera/..., the trees kept\n";

}  // namespace

int ParseConvertOptions(int argc, const char* const* argv, ConvertOptions& options, FILE* out, FILE* err) {
    CLI::App app(kDescription, "pixbridge-convert");
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("pixbridge-convert ") + PIXBRIDGE_VERSION);
    app.get_formatter()->column_width(26);

    std::string format = "jpeg";
    app.add_option("-o,--output", options.outputDir, "Output folder (made if missing); default: beside each photo")
        ->type_name("DIR");
    app.add_option("-f,--format", format, "Output format")
        ->transform(CLI::IsMember({"jpeg", "jpg", "png"}, CLI::ignore_case))
        ->option_text("jpeg|png (default jpeg)");
    app.add_option("-q,--quality", options.quality, "JPEG quality")
        ->check(CLI::Range(1, 100))
        ->option_text("1..100 (default 90)");
    app.add_option("--max-size", options.maxSize, "Longest side of the results, in pixels; default: the photo's own size")
        ->check(CLI::Range(16, 65535))
        ->option_text("N (16..65535)");
    app.add_flag("--strip-exif", options.stripExif, "Leave the EXIF data out of JPEG files");
    app.add_flag("-r,--recursive", options.recursive, "Search sub-folders too");
    app.add_flag("--json", options.json, "One JSON line per file on standard output: path, status, milliseconds");
    app.add_flag("--quiet", options.quiet, "Print nothing but errors");
    app.add_option("photos", options.inputs, "HEIC photos and folders of photos")
        ->option_text("PHOTO|FOLDER ...")
        ->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        fputs(app.help().c_str(), out);
        return kExitConverted;
    } catch (const CLI::CallForVersion& e) {
        fprintf(out, "%s\n", e.what());
        return kExitConverted;
    } catch (const CLI::ParseError& e) {
        // The message quotes what was typed, and a globbed name may carry
        // terminal controls: through the same filter as every other line.
        fprintf(err, "pixbridge-convert: %s\nTry 'pixbridge-convert --help' for more information.\n",
                ConsoleReport::Printable(e.what()).c_str());
        return kExitUsage;
    }
    options.png = format == "png";
    return -1;
}
