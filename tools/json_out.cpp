#include "tools/json_out.h"

#include <cstdio>

#include "common/wstr.h"

namespace lbl {

JsonOut::JsonOut() : writer_(buffer_) { writer_.StartObject(); }

void JsonOut::Int(const char* key, int64_t v) {
  writer_.Key(key);
  blank_ ? writer_.Null() : writer_.Int64(v);
}

void JsonOut::Uint(const char* key, uint64_t v) {
  writer_.Key(key);
  blank_ ? writer_.Null() : writer_.Uint64(v);
}

void JsonOut::Bool(const char* key, bool v) {
  writer_.Key(key);
  blank_ ? writer_.Null() : writer_.Bool(v);
}

void JsonOut::Str(const char* key, const std::string& v) {
  writer_.Key(key);
  blank_ ? writer_.Null() : writer_.String(v.data(), static_cast<rapidjson::SizeType>(v.size()));
}

void JsonOut::WStr(const char* key, const WCHAR* v, size_t cap) {
  Str(key, blank_ ? std::string() : WideToUtf8(WString(v, WStrNLen(v, cap)).c_str()));
}

void JsonOut::Null(const char* key) {
  writer_.Key(key);
  writer_.Null();
}

void JsonOut::BeginObject(const char* key) {
  writer_.Key(key);
  writer_.StartObject();
}

void JsonOut::BeginArray(const char* key) {
  writer_.Key(key);
  writer_.StartArray();
}

void JsonOut::EndObject() { writer_.EndObject(); }
void JsonOut::EndArray() { writer_.EndArray(); }

void JsonOut::OpenError(const std::string& message) {
  writer_.Key("Error");
  writer_.StartObject();
  writer_.Key("Message");
  writer_.String(message.data(), static_cast<rapidjson::SizeType>(message.size()));
}

std::string JsonOut::CloseError() {
  writer_.EndObject();
  writer_.EndObject();
  return std::string(buffer_.GetString(), buffer_.GetSize()) + "\n";
}

std::string JsonOut::Finish(const std::string& error) {
  if (error.empty()) {
    writer_.Key("Error");
    writer_.Null();
    writer_.EndObject();
    return std::string(buffer_.GetString(), buffer_.GetSize()) + "\n";
  }
  OpenError(error);
  return CloseError();
}

int JsonOut::Emit(const std::string& error, int status) {
  std::fputs(Finish(error).c_str(), stdout);
  std::fflush(stdout);
  if (!error.empty()) std::fprintf(stderr, "lbl: %s\n", error.c_str());
  return status >= 0 ? status : error.empty() ? 0 : 1;
}

}  // namespace lbl
