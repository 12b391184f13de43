#include "update_feed.h"

#include "url_policy.h"

#include <bedrock/bas_utility_string.h>
#include <refresh/lu_refresh.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace update_feed {
namespace {

struct DocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

bool Named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

// The element's text; false when it holds anything but text or is too long.
bool TextOf(const xmlNode* node, std::string& out) {
    out.clear();
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) {
            if (child->type == XML_COMMENT_NODE) continue;
            return false;
        }
        if (child->content) out += reinterpret_cast<const char*>(child->content);
        if (out.size() > kMaxLineBytes) return false;
    }
    return true;
}

std::string Trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool IsHex(std::string& text, size_t length) {
    if (text.size() != length) return false;
    for (char& c : text) {
        if (!isxdigit(static_cast<unsigned char>(c))) return false;
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    return true;
}

bool ParseEntry(const xmlNode* update, const std::string& feedUrl, Entry& entry) {
    std::string path;
    for (const xmlNode* field = update->children; field; field = field->next) {
        if (field->type != XML_ELEMENT_NODE) continue;
        std::string text;
        if (Named(field, "description")) {
            for (const xmlNode* line = field->children; line; line = line->next) {
                if (!Named(line, "line")) continue;
                if (!TextOf(line, text) || entry.lines.size() >= kMaxLines) return false;
                entry.lines.push_back(Trimmed(text));
            }
            continue;
        }
        if (!TextOf(field, text)) return false;
        text = Trimmed(text);
        if (Named(field, "version")) entry.version = text;
        else if (Named(field, "path")) path = text;
        else if (Named(field, "md5")) entry.md5 = text;
        else if (Named(field, "sha256")) entry.sha256 = text;
        // Other elements belong to later versions of the feed.
    }
    // The SHA-256 is what the root helper checks its own copy against before
    // installing: an update without one cannot be installed safely.
    if (!IsVersion(entry.version) || path.empty() || !IsHex(entry.md5, 32) || !IsHex(entry.sha256, 64)) return false;
    entry.url = url_policy::Resolve(feedUrl, path);
    return !entry.url.empty();
}

}  // namespace

bool IsVersion(const std::string& text) {
    int numbers = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0) return false;
            digits = 0;
            continue;
        }
        if (c < '0' || c > '9') return false;
        if (digits++ == 0) ++numbers;
        if (digits > 9 || numbers > 4) return false;
    }
    return digits > 0;
}

int32_t Parse(const std::string& document, const std::string& feedUrl, std::vector<Entry>& entries) {
    entries.clear();
    if (document.empty() || document.size() > kMaxFeedBytes) return LU_BAD_FEED;
    // The feed never needs a document type: refusing one up front shuts out
    // entity expansion and external entities before the parser sees them.
    if (document.find("<!DOCTYPE") != std::string::npos || document.find("<!ENTITY") != std::string::npos) {
        return LU_BAD_FEED;
    }
    xmlInitParser();
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    std::unique_ptr<xmlDoc, DocDeleter> doc(
        xmlReadMemory(document.data(), static_cast<int>(document.size()), feedUrl.c_str(), nullptr, options));
    if (!doc) return LU_BAD_FEED;
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!root || !Named(root, "updates") || doc->intSubset) return LU_BAD_FEED;
    for (const xmlNode* node = root->children; node; node = node->next) {
        if (!Named(node, "update")) continue;
        if (entries.size() >= kMaxEntries) return LU_BAD_FEED;
        Entry entry;
        if (!ParseEntry(node, feedUrl, entry)) {
            entries.clear();
            return LU_BAD_FEED;
        }
        entries.push_back(std::move(entry));
    }
    return LU_OK;
}

std::vector<Entry> NewerThan(std::vector<Entry> entries, const std::string& running) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return BASUtilityString::CompareVersion(e.version, running) <= 0; }),
                  entries.end());
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return BASUtilityString::CompareVersion(a.version, b.version) > 0;
    });
    return entries;
}

}  // namespace update_feed
