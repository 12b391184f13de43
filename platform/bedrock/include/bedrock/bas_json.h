// Small builders over rapidjson values.
#ifndef BEDROCK_BAS_JSON_H
#define BEDROCK_BAS_JSON_H

#include "bedrock_export.h"

#include <rapidjson/document.h>

#include <cstdint>
#include <string>

using JsonAllocator = rapidjson::Document::AllocatorType;

// No file or message of the program nests deeper than this.
constexpr unsigned kJsonMaxDepth = 128;

// The one way the program reads JSON text. Text nested deeper than
// `maxDepth` is refused before it is parsed, and the parse itself is
// rapidjson's iterative one: neither a deep text nor the recursive writers and
// copies that later walk the document can exhaust the stack. False, with
// `error` (optional) saying why, when the text is not JSON.
BEDROCK_EXPORT bool ParseJsonText(rapidjson::Document& doc, const char* text, size_t length, std::string* error = nullptr,
                                  unsigned maxDepth = kJsonMaxDepth);
BEDROCK_EXPORT bool ParseJsonText(rapidjson::Document& doc, const std::string& text, std::string* error = nullptr,
                                  unsigned maxDepth = kJsonMaxDepth);
// The deepest nesting of arrays and objects in `text` (strings skipped),
// counted without recursion; stops counting once past `limit`.
BEDROCK_EXPORT unsigned JsonNestingDepth(const char* text, size_t length, unsigned limit);

BEDROCK_EXPORT void AddJsonDictStringValue(rapidjson::Value& object, const char* key, const std::string& value, JsonAllocator& allocator);
BEDROCK_EXPORT void AddJsonDictIntValue(rapidjson::Value& object, const char* key, int64_t value, JsonAllocator& allocator);
BEDROCK_EXPORT void AddJsonDictUInt64Value(rapidjson::Value& object, const char* key, uint64_t value, JsonAllocator& allocator);
// Moves `value` into the object.
BEDROCK_EXPORT void AddJsonDictObjectValue(rapidjson::Value& object, const char* key, rapidjson::Value& value, JsonAllocator& allocator);
BEDROCK_EXPORT void PushJsonArrayStringValue(rapidjson::Value& array, const std::string& value, JsonAllocator& allocator);
BEDROCK_EXPORT void PushJsonArrayIntValue(rapidjson::Value& array, int64_t value, JsonAllocator& allocator);
BEDROCK_EXPORT std::string ToString(const rapidjson::Value& value);

#endif  // BEDROCK_BAS_JSON_H
