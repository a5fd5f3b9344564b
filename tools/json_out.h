// The one way the lbl commands write JSON: RapidJSON's pretty writer, keys as the records and
// fields of the code name them (dmPaperWidth, Speed, JobId), and every document an object that
// ends in "Error": null on success, {"Message": ...} on failure, so a failed run has the shape
// of a good one.
#pragma once

#include <cstdint>
#include <string>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "common/platform.h"

namespace lbl {

class JsonOut {
 public:
  using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

  JsonOut();  // opens the document's object

  // A member of the current object. In a blank document (a command that failed before it had
  // the record to show) every scalar is null, so the keys are still all there.
  void Int(const char* key, int64_t v);
  void Uint(const char* key, uint64_t v);
  void Bool(const char* key, bool v);
  void Str(const char* key, const std::string& v);
  void WStr(const char* key, const WCHAR* v, size_t cap);  // at most `cap` characters, as UTF-8
  void Null(const char* key);
  void BeginObject(const char* key);
  void BeginArray(const char* key);
  void EndObject();
  void EndArray();

  // An array member with an object for each of `items`, its members written by `members(item)`.
  template <class Items, class Members>
  void ObjectArray(const char* key, const Items& items, Members members) {
    BeginArray(key);
    for (const auto& item : items) {
      writer_.StartObject();
      members(item);
      writer_.EndObject();
    }
    EndArray();
  }

  // Array elements and anything else: the writer itself.
  Writer& W() { return writer_; }
  void SetBlank(bool blank) { blank_ = blank; }

  // "Error" (null for an empty message) and the end of the document; the text, newline-terminated.
  // OpenError leaves the error object open for the caller's own fields (then CloseError).
  std::string Finish(const std::string& error = {});
  void OpenError(const std::string& message);
  std::string CloseError();

  // Prints the finished document on stdout; a failure's message also goes to stderr.
  // Returns `status` (0 with an empty error, else 1 unless given).
  int Emit(const std::string& error = {}, int status = -1);

 private:
  rapidjson::StringBuffer buffer_;
  Writer writer_;
  bool blank_ = false;
};

}  // namespace lbl
