#include "catalogue_tool.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include "bridge/ui_documents.h"
#include "catalogue/catalogue_model.h"
#include "catalogue/catalogue_tables.h"
#include "catalogue/catalogue_text.h"
#include "support/json.h"
#include "support/paths.h"

namespace {

using namespace bright_setup;

constexpr int kUsageError = 2;
constexpr int kNotLoaded = 2;

constexpr const char* kHelp =
    R"(Usage:
  norvane-catalogue check FILE
  norvane-catalogue find FILE KEY [--lang L]... [--version V]
  norvane-catalogue select FILE [--lang L] [OP]...
  norvane-catalogue --help

Reads a catalogue file (verinfo.txt) as bytes and decodes it exactly as the
installer decodes a downloaded catalogue: UTF-8, a leading byte-order mark
(any first character above U+00FF) dropped, then parsed.

check FILE
  Exit 0 and "ok: N entries" when the catalogue loads (N entries, comment
  lines not counted). Exit 1 and "FILE:LINE:COLUMN: error: REASON" on a
  grammar error or a value the installer cannot use (a CODE.SHA256 that is
  not a SHA-256: that product would never be installed), or "FILE: error:
  REASON" when the failure has no position (an HTML page, bad UTF-8, a
  number out of range, an unreadable file).

find FILE KEY [--lang L]... [--version V]
  Looks KEY up as the installer does: the first entry of that key whose
  version starts with V and whose languages include every L. Exit 0 and the
  entry as one line of compact JSON with the members name, version,
  anyVersion, languages, values and extraValues; exit 1 when nothing fits;
  exit 2 when the catalogue does not load. Without --lang the user's
  interface language is asked for; without --version, 1.0.0. V is dotted
  numbers, for example 2.0.

select FILE [--lang L] [OP]...
  Builds the product list and the selection as the installer does at start,
  applies each OP in order, then prints the area collection document exactly
  as the page receives it, a line "--", the product collection document, a
  line "--", and the ids of the selected products in installation order, one
  per line. Exit 2 when the catalogue does not load. Each OP is one of
    +area:NAME     -area:NAME     (check / uncheck an area, e.g. +area:Device)
    +product:ID    -product:ID    (check / uncheck a product, e.g. +product:shield)
  with names as the page sends them (case-sensitive).

Wrong arguments exit with 2 and a message on the error stream.
)";

int Usage(std::ostream& err, const std::string& message) {
  err << "norvane-catalogue: " << message << "\n"
      << "Try 'norvane-catalogue --help'.\n";
  return kUsageError;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  // path is UTF-8: never handed to the ANSI file functions of Windows.
  std::ifstream file(QuickKit::PathFromUtf8(path), std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) return false;
  bytes = content.str();
  return true;
}

// Loads the file as the installer loads a download; on failure the one-line
// diagnostic is left in `diagnostic`.
bool LoadFile(const std::string& path, VerInfo& verInfo, std::string& diagnostic) {
  std::string bytes;
  if (!ReadFile(path, bytes)) {
    diagnostic = path + ": error: cannot read the file";
    return false;
  }
  if (LoadCatalogueText(bytes, verInfo)) return true;
  const VerInfoParseError& error = verInfo.LastError();
  std::ostringstream line;
  line << path;
  if (error.line != 0) line << ':' << error.line << ':' << error.column;
  line << ": error: " << error.reason;
  diagnostic = line.str();
  return false;
}

std::optional<std::vector<std::int32_t>> ParseVersion(const std::string& text) {
  std::vector<std::int32_t> parts;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t dot = text.find('.', begin);
    const std::string part =
        text.substr(begin, dot == std::string::npos ? std::string::npos : dot - begin);
    if (part.empty() || part.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    if (value > INT32_MAX) return std::nullopt;
    parts.push_back(static_cast<std::int32_t>(value));
    if (dot == std::string::npos) return parts;
    begin = dot + 1;
  }
}

QuickKit::JsonNode StringArray(const char* name, const std::vector<std::string>& items) {
  QuickKit::JsonNode array(QuickKit::JsonArray);
  array.SetName(name);
  for (const std::string& item : items) array.Append(QuickKit::JsonNode("", item));
  return array;
}

std::string EntryJson(const VerInfoEntry& entry) {
  QuickKit::JsonNode object(QuickKit::JsonObject);
  object.Append(QuickKit::JsonNode("name", entry.name));
  QuickKit::JsonNode version(QuickKit::JsonArray);
  version.SetName("version");
  for (std::uint16_t part : entry.m_versionParts) version.Append(QuickKit::JsonNode("", part));
  object.Append(version);
  object.Append(QuickKit::JsonNode::MakeBool("anyVersion", entry.anyVersion));
  object.Append(StringArray("languages", entry.languages));
  object.Append(StringArray("values", entry.values));
  object.Append(StringArray("extraValues", entry.extraValues));
  return object.WriteCompact();
}

// The first entry, in file order, whose value the installer reads but
// cannot use; false when there is none.
bool FindUnusableValue(const VerInfo& verInfo, std::size_t& entryIndex, std::string& reason) {
  const std::vector<VerInfoEntry>& entries = verInfo.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::int32_t product = 0; product < kProductCount; ++product) {
      if (entries[i].name != ProductHashKey(product)) continue;
      if (!Sha256FromCatalogue(entries[i].values.front()).empty()) break;
      entryIndex = i;
      reason = entries[i].name +
               " is not a SHA-256 (64 hex digits, optionally after \"sha256:\"); the installer "
               "would never run this product";
      return true;
    }
  }
  return false;
}

int Check(const std::vector<std::string>& args, std::ostream& out) {
  VerInfo verInfo;
  std::string diagnostic;
  const std::string& path = args[1];
  if (!LoadFile(path, verInfo, diagnostic)) {
    out << diagnostic << "\n";
    return 1;
  }
  std::size_t entry = 0;
  std::string reason;
  if (FindUnusableValue(verInfo, entry, reason)) {
    const VerInfoTextPosition& at = verInfo.ValuePositions()[entry];
    out << path << ':' << at.line << ':' << at.column << ": error: " << reason << "\n";
    return 1;
  }
  out << "ok: " << verInfo.Entries().size() << " entries\n";
  return 0;
}

int Find(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  std::vector<std::string> languages;
  std::vector<std::int32_t> version = kRequestedVersion;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--lang" || args[i] == "--version") {
      if (i + 1 >= args.size()) return Usage(err, args[i] + " needs a value");
      const std::string& value = args[++i];
      if (args[i - 1] == "--lang") {
        languages.push_back(value);
      } else if (auto parsed = ParseVersion(value)) {
        version = *parsed;
      } else {
        return Usage(err, "--version takes dotted numbers, not '" + value + "'");
      }
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) return Usage(err, "find takes FILE and KEY");
  if (languages.empty()) languages.push_back(CatalogueLanguage());

  VerInfo verInfo;
  std::string diagnostic;
  if (!LoadFile(positional[0], verInfo, diagnostic)) {
    err << diagnostic << "\n";
    return kNotLoaded;
  }
  VerInfoEntry entry;
  if (!verInfo.Find(positional[1], languages, version, entry)) return 1;
  out << EntryJson(entry) << "\n";
  return 0;
}

int Select(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<std::string> file;
  std::optional<std::string> language;
  std::vector<std::string> ops;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--lang") {
      if (i + 1 >= args.size()) return Usage(err, "--lang needs a value");
      if (language) return Usage(err, "select takes one --lang");
      language = args[++i];
    } else if (!file) {
      file = arg;
    } else if (arg.rfind("+area:", 0) == 0 || arg.rfind("-area:", 0) == 0 ||
               arg.rfind("+product:", 0) == 0 || arg.rfind("-product:", 0) == 0) {
      ops.push_back(arg);
    } else {
      return Usage(err, "unknown operation '" + arg + "'");
    }
  }
  if (!file) return Usage(err, "select takes FILE");

  std::vector<CatalogueProduct> products;
  std::string diagnostic;
  const bool loaded =
      BuildCatalogueProducts([&](VerInfo& verInfo) { return LoadFile(*file, verInfo, diagnostic); },
                             language ? *language : CatalogueLanguage(), products);
  if (!loaded) {
    err << diagnostic << "\n";
    return kNotLoaded;
  }
  CatalogueModel model(products, nullptr);
  model.InitSelection();
  for (const std::string& op : ops) {
    const bool check = op[0] == '+';
    const std::size_t colon = op.find(':');
    const std::string name = op.substr(colon + 1);
    if (op.compare(1, colon - 1, "area") == 0) {
      check ? model.CheckAreaById(name) : model.UncheckAreaById(name);
    } else {
      check ? model.CheckProductById(name) : model.UncheckProductById(name);
    }
  }
  out << AreaCollectionDocument(model.AreaSnapshot()) << "\n--\n"
      << ProductCollectionDocument(model.ProductSnapshot()) << "\n--\n";
  for (std::int32_t index : model.SelectedProducts()) out << ProductId(index) << "\n";
  return 0;
}

}  // namespace

int RunCatalogueTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      out << kHelp;
      return 0;
    }
  }
  if (args.empty()) return Usage(err, "no command given");
  const std::string& command = args[0];
  if (command == "check") {
    if (args.size() != 2) return Usage(err, "check takes one FILE");
    return Check(args, out);
  }
  if (command == "find") return Find(args, out, err);
  if (command == "select") return Select(args, out, err);
  return Usage(err, "unknown command '" + command + "'");
}
