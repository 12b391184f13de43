// Small builders over rapidjson values.
#ifndef BEDROCK_BAS_JSON_H
#define BEDROCK_BAS_JSON_H

#include "bedrock_export.h"

#include <rapidjson/document.h>

#include <cstdint>
#include <string>

using JsonAllocator = rapidjson::Document::AllocatorType;

BEDROCK_EXPORT void AddJsonDictStringValue(rapidjson::Value& object, const char* key, const std::string& value, JsonAllocator& allocator);
BEDROCK_EXPORT void AddJsonDictIntValue(rapidjson::Value& object, const char* key, int64_t value, JsonAllocator& allocator);
BEDROCK_EXPORT void AddJsonDictUInt64Value(rapidjson::Value& object, const char* key, uint64_t value, JsonAllocator& allocator);
// Moves `value` into the object.
BEDROCK_EXPORT void AddJsonDictObjectValue(rapidjson::Value& object, const char* key, rapidjson::Value& value, JsonAllocator& allocator);
BEDROCK_EXPORT void PushJsonArrayStringValue(rapidjson::Value& array, const std::string& value, JsonAllocator& allocator);
BEDROCK_EXPORT void PushJsonArrayIntValue(rapidjson::Value& array, int64_t value, JsonAllocator& allocator);
BEDROCK_EXPORT std::string ToString(const rapidjson::Value& value);

#endif  // BEDROCK_BAS_JSON_H
