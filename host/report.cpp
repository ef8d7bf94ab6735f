#include "report.h"

#include <cstdio>

namespace host {

namespace {

constexpr const char* kProgram = "quorbel: ";
constexpr const char* kTagStart = " __ZOQ_";

std::string Shown(const Line& line, const Display& display) {
  return line.label + (line.is_path ? display.Path(line.text) : display.Text(line.text));
}

std::string Shown(const Problem& problem, const Display& display) {
  const std::string what = problem.what_is_path ? display.Path(problem.what) : display.Text(problem.what);
  return kProgram + (what.empty() ? "" : what + ": ") + display.Text(problem.why);
}

void Write(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

std::string ProblemsJson(const std::vector<Problem>& problems) {
  std::vector<std::string> items;
  for (const Problem& p : problems) {
    JsonObject item;
    if (p.what_is_path) {
      item.Path("what", p.what);
    } else {
      item.Text("what", p.what);
    }
    items.push_back(item.Text("why", p.why).str());
  }
  return JsonArray(items);
}

std::string ToJson(const Outcome& o) {
  JsonObject object;
  object.Text("command", o.command).Bool("ok", o.status == kExitOk).Number("status", o.status);
  if (o.reply.Code() != 0) {
    object.Number("code", o.reply.Code())
        .Text("text", ReplyText(o.reply))
        .Text("reply", o.reply.data);
  } else {
    object.Raw("code", "null");
  }
  object.Raw("fields", o.fields.str());
  std::vector<std::string> files;
  for (const std::string& file : o.files) files.push_back(JsonPath(file));
  object.Raw("files", JsonArray(files));
  object.Raw("errors", ProblemsJson(o.problems));
  if (!o.notes.empty()) object.Raw("notes", ProblemsJson(o.notes));
  return object.str();
}

}  // namespace

JsonObject& JsonObject::Raw(const std::string& key, std::string json) {
  members_.emplace_back(key, std::move(json));
  return *this;
}
JsonObject& JsonObject::Text(const std::string& key, const std::string& text) {
  return Raw(key, JsonText(text));
}
JsonObject& JsonObject::Path(const std::string& key, const std::string& path) {
  return Raw(key, JsonPath(path));
}
JsonObject& JsonObject::Number(const std::string& key, int64_t value) {
  return Raw(key, std::to_string(value));
}
JsonObject& JsonObject::Bool(const std::string& key, bool value) {
  return Raw(key, value ? "true" : "false");
}

std::string JsonObject::str() const {
  std::string out = "{";
  for (const auto& [key, value] : members_) {
    if (out.size() > 1) out += ",";
    out += JsonText(key) + ":" + value;
  }
  return out + "}";
}

std::string JsonArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) out += (out.size() > 1 ? "," : "") + item;
  return out + "]";
}

Outcome& Outcome::Fail(Problem problem, int with_status) {
  problems.push_back(std::move(problem));
  status = with_status;
  return *this;
}

std::string ReplyText(const Reply& reply) {
  constexpr int kData = 201;  // the data follows the text, before or after the tag
  if (reply.Code() == 0) return reply.data;
  if (reply.Code() == kData) return "OK-DATA";
  std::string text = reply.data.substr(reply.data.size() > 3 ? 4 : 3);
  const size_t tag = text.find(kTagStart);
  if (tag != std::string::npos) text.resize(tag);
  return text;
}

int Emit(const Outcome& o, const OutputOptions& options) {
  const Display display(options.encoding);
  std::string out, err;
  if (options.json) {
    out = ToJson(o) + "\n";
  } else {
    if (!options.quiet) {
      for (const Line& line : o.info) out += Shown(line, display) + "\n";
    }
    for (const Line& line : o.data) out += Shown(line, display) + "\n";
  }
  for (const Problem& problem : o.problems) err += Shown(problem, display) + "\n";
  if (!options.quiet) {
    for (const Problem& note : o.notes) err += Shown(note, display) + "\n";
  }
  Write(stdout, out);
  std::fflush(stdout);
  Write(stderr, err);
  return o.status;
}

}  // namespace host
