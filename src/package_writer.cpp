// Writes a package file byte for byte as two-space indented JSON. Records are few and small, so
// the text is built in one string without a general JSON printer.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "marshal/number_text.hpp"
#include "package.hpp"
#include "package_text.hpp"

namespace orvane {
namespace {

class PackageWriter {
 public:
  std::string finish() && { return std::move(out_); }

  void package(const Package& p) {
    begin('{');
    key("format");
    string(p.format);
    key("version");
    out_ += std::to_string(p.version);
    key("formations");
    begin('[');
    for (const Formation& f : p.formations) {
      element();
      formation(f);
    }
    end(']');
    end('}');
  }

 private:
  void formation(const Formation& f) {
    begin('{');
    key("id");
    out_ += std::to_string(f.id);
    key("name");
    string(f.name);
    key("probes");
    begin('[');
    for (const Probe& p : f.probes) {
      element();
      probe(p);
    }
    end(']');
    end('}');
  }

  void probe(const Probe& p) {
    begin('{');
    key("x");
    out_ += package_double_text(p.x);
    key("y");
    out_ += package_double_text(p.y);
    key("z");
    out_ += package_double_text(p.z);
    key("range");
    out_ += package_double_text(p.range);
    end('}');
  }

  void begin(char bracket) {
    out_ += bracket;
    ++level_;
    first_ = true;
  }

  // An empty container closes on the line it opened: "[]".
  void end(char bracket) {
    --level_;
    if (!first_) newline();
    out_ += bracket;
    first_ = false;
  }

  void element() {
    if (!first_) out_ += ',';
    newline();
    first_ = false;
  }

  void key(std::string_view name) {
    element();
    append_package_string(out_, name);
    out_ += ": ";
  }

  void string(std::string_view text) { append_package_string(out_, text); }

  void newline() {
    out_ += '\n';
    out_.append(2 * level_, ' ');
  }

  std::string out_;
  std::size_t level_ = 0;
  bool first_ = true;
};

}  // namespace

std::string package_double_text(double value) {
  if (!std::isfinite(value)) return "null";
  std::string out = std::signbit(value) ? "-" : "";
  const marshal::ShortestDigits d = marshal::shortest_digits(std::fabs(value));
  const auto count = static_cast<int>(d.digits.size());
  if (d.exponent < -5 || d.exponent >= 16) {
    out += d.digits[0];
    if (count > 1) {
      out += '.';
      out.append(d.digits, 1);
    }
    out += 'e';
    out += std::to_string(d.exponent);
  } else if (d.exponent >= count - 1) {
    out += d.digits;
    out.append(static_cast<std::size_t>(d.exponent - (count - 1)), '0');
    out += ".0";
  } else if (d.exponent >= 0) {
    const auto point = static_cast<std::size_t>(d.exponent + 1);
    out.append(d.digits, 0, point);
    out += '.';
    out.append(d.digits, point);
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
    out += d.digits;
  }
  return out;
}

void append_package_string(std::string& out, std::string_view text) {
  static constexpr char HEX[] = "0123456789abcdef";
  out += '"';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += HEX[byte >> 4];
          out += HEX[byte & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

std::string write_package_json(const Package& package) {
  PackageWriter writer;
  writer.package(package);
  return std::move(writer).finish();
}

}  // namespace orvane
