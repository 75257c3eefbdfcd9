// Writes a package file byte for byte as two-space indented JSON. Records are few and small, so
// the text is built in one string without a general JSON printer.
#include <cstdint>
#include <string>
#include <string_view>

#include "orvane/core/package.hpp"
#include "orvane/core/package_text.hpp"

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

std::string write_package_json(const Package& package) {
  PackageWriter writer;
  writer.package(package);
  return std::move(writer).finish();
}

}  // namespace orvane
