#include "foundation/res_strings.h"

#include <atomic>
#include <cstdio>

#include "foundation/log.h"
#include "svres/string_table.h"

namespace sorvani {

namespace {

std::atomic<ResourceStringSource> g_source{nullptr};

// Parses one conversion after its '%'; returns the printf directive with its length modifier
// dropped.
struct Conversion {
  std::string directive;  // "%" flags width precision (no length modifier)
  char type = 0;
  std::size_t length = 0;  // characters consumed after '%'
};

bool ParseConversion(std::string_view rest, Conversion& conv) {
  constexpr std::size_t kMaxField = 4;  // width or precision digits: at most 9999
  std::size_t i = 0;
  conv.directive.assign(1, '%');
  while (i < rest.size() && std::string_view("-+ #0").find(rest[i]) != std::string_view::npos)
    conv.directive += rest[i++];
  std::size_t digits = 0;
  while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && digits++ < kMaxField)
    conv.directive += rest[i++];
  if (i < rest.size() && rest[i] == '.') {
    conv.directive += rest[i++];
    digits = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && digits++ < kMaxField)
      conv.directive += rest[i++];
  }
  if (rest.substr(i, 3) == "I64") {
    i += 3;
  } else {
    while (i < rest.size() && std::string_view("hlLqjzt").find(rest[i]) != std::string_view::npos)
      ++i;
  }
  if (i >= rest.size()) return false;
  conv.type = rest[i++];
  if (std::string_view("diuoxXceEfFgGaAs").find(conv.type) == std::string_view::npos) return false;
  conv.length = i;
  return true;
}

template <class T>
void AppendFormatted(std::string& out, const std::string& directive, T value) {
  int n = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (n <= 0) return;
  std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(n) + 1);
  std::snprintf(out.data() + at, static_cast<std::size_t>(n) + 1, directive.c_str(), value);
  out.resize(at + static_cast<std::size_t>(n));
}

}  // namespace

void SetResourceStringSource(ResourceStringSource source) {
  g_source.store(source, std::memory_order_release);
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the sequence that would be cut.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string LibraryResText(const char* text) {
  if (text == nullptr) return kResourceNotAvailable;
  // Bounded scan: a library text is read no further than the buffer it would fill.
  std::size_t length = 0;
  while (length <= kMaxResStringBytes && text[length] != '\0') ++length;
  return std::string(CutUtf8(std::string_view(text, length), kMaxResStringBytes));
}

std::string LoadResString(unsigned id) {
  if (ResourceStringSource source = g_source.load(std::memory_order_acquire))
    return LibraryResText(source(id));
  const char* text = SvresTableString(id);
  return text != nullptr ? text : kResourceNotAvailable;
}

bool FormatResText(std::string_view format, std::span<const ResArg> args, std::string& out) {
  out.clear();
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    Conversion conv;
    if (!ParseConversion(format.substr(i + 1), conv) || next >= args.size()) {
      out.clear();
      return false;
    }
    const ResArg& arg = args[next++];
    bool isInteger = arg.kind == ResArg::Kind::kSigned || arg.kind == ResArg::Kind::kUnsigned;
    long long asSigned = arg.kind == ResArg::Kind::kSigned ? arg.i : static_cast<long long>(arg.u);
    unsigned long long asUnsigned =
        arg.kind == ResArg::Kind::kSigned ? static_cast<unsigned long long>(arg.i) : arg.u;
    bool matches = false;
    switch (conv.type) {
      case 'd':
      case 'i':
        if ((matches = isInteger))
          AppendFormatted(out, conv.directive + "ll" + conv.type, asSigned);
        break;
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        if ((matches = isInteger))
          AppendFormatted(out, conv.directive + "ll" + conv.type, asUnsigned);
        break;
      case 'c':
        if ((matches = isInteger))
          AppendFormatted(out, conv.directive + 'c', static_cast<int>(asUnsigned & 0xFF));
        break;
      case 's':
        if ((matches = arg.kind == ResArg::Kind::kText))
          AppendFormatted(out, conv.directive + 's', arg.text.c_str());
        break;
      default:  // floating point
        if ((matches = arg.kind == ResArg::Kind::kDouble))
          AppendFormatted(out, conv.directive + conv.type, arg.d);
        break;
    }
    if (!matches) {
      out.clear();
      return false;
    }
    i += conv.length;
  }
  if (next != args.size()) {
    out.clear();
    return false;
  }
  return true;
}

std::string FormatResStringArgs(unsigned id, std::span<const ResArg> args) {
  std::string text = LoadResString(id);
  std::string out;
  if (FormatResText(text, args, out)) return out;
  LogFile.Write(0, "Resource string %u does not match its %zu arguments\n", id, args.size());
  return text;
}

}  // namespace sorvani
