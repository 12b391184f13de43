#include "bedrock/bas_json.h"

#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

unsigned JsonNestingDepth(const char* text, size_t length, unsigned limit) {
    unsigned depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest) deepest = depth;
            if (deepest > limit) break;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

bool ParseJsonText(rapidjson::Document& doc, const char* text, size_t length, std::string* error, unsigned maxDepth) {
    if (!text) {
        if (error) *error = "no text";
        return false;
    }
    if (JsonNestingDepth(text, length, maxDepth) > maxDepth) {
        if (error) *error = "nested deeper than " + std::to_string(maxDepth) + " levels";
        doc.SetNull();
        return false;
    }
    doc.Parse<rapidjson::kParseIterativeFlag>(text, length);
    if (doc.HasParseError()) {
        if (error) {
            *error = std::string(rapidjson::GetParseError_En(doc.GetParseError())) + " (offset " +
                     std::to_string(doc.GetErrorOffset()) + ")";
        }
        return false;
    }
    return true;
}

bool ParseJsonText(rapidjson::Document& doc, const std::string& text, std::string* error, unsigned maxDepth) {
    return ParseJsonText(doc, text.data(), text.size(), error, maxDepth);
}

void AddJsonDictStringValue(rapidjson::Value& object, const char* key, const std::string& value, JsonAllocator& allocator) {
    object.AddMember(rapidjson::Value(key, allocator),
                     rapidjson::Value(value.c_str(), static_cast<rapidjson::SizeType>(value.size()), allocator),
                     allocator);
}

void AddJsonDictIntValue(rapidjson::Value& object, const char* key, int64_t value, JsonAllocator& allocator) {
    object.AddMember(rapidjson::Value(key, allocator), rapidjson::Value(static_cast<int64_t>(value)), allocator);
}

void AddJsonDictUInt64Value(rapidjson::Value& object, const char* key, uint64_t value, JsonAllocator& allocator) {
    object.AddMember(rapidjson::Value(key, allocator), rapidjson::Value(static_cast<uint64_t>(value)), allocator);
}

void AddJsonDictObjectValue(rapidjson::Value& object, const char* key, rapidjson::Value& value, JsonAllocator& allocator) {
    object.AddMember(rapidjson::Value(key, allocator), value, allocator);
}

void PushJsonArrayStringValue(rapidjson::Value& array, const std::string& value, JsonAllocator& allocator) {
    array.PushBack(rapidjson::Value(value.c_str(), static_cast<rapidjson::SizeType>(value.size()), allocator), allocator);
}

void PushJsonArrayIntValue(rapidjson::Value& array, int64_t value, JsonAllocator& allocator) {
    array.PushBack(rapidjson::Value(static_cast<int64_t>(value)), allocator);
}

std::string ToString(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}
