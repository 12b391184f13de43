#include "bedrock/bas_json.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

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
