#include "structs/debug_tree.hpp"

#include <fmt/format.h>

#include <cmath>

namespace sparvik {

std::string debug_float(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // fmt gives the shortest text that reads back exactly; only the spelling differs.
  std::string text = fmt::format("{}", value);
  const auto e = text.find('e');
  if (e == std::string::npos) {
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
  }
  std::string mantissa = text.substr(0, e);
  std::string exponent = text.substr(e + 1);
  bool negative = false;
  if (!exponent.empty() && (exponent.front() == '+' || exponent.front() == '-')) {
    negative = exponent.front() == '-';
    exponent.erase(0, 1);
  }
  const auto digits = exponent.find_first_not_of('0');
  exponent = digits == std::string::npos ? "0" : exponent.substr(digits);
  return mantissa + "e" + (negative ? "-" : "") + exponent;
}

namespace {
void indent(std::string& out, int depth) {
  out.append(static_cast<std::size_t>(depth) * 4, ' ');
}

// A multi-line leaf keeps its later lines at the depth it was placed at.
void write_indented_leaf(std::string& out, const std::string& text, int depth) {
  for (char c : text) {
    out.push_back(c);
    if (c == '\n') indent(out, depth);
  }
}
}  // namespace

DebugNode DebugNode::leaf(std::string text) {
  DebugNode node;
  node.text_ = std::move(text);
  return node;
}

DebugNode DebugNode::record(std::string name, std::vector<std::pair<std::string, DebugNode>> fields,
                            bool non_exhaustive) {
  DebugNode node;
  node.shape_ = Shape::Record;
  node.text_ = std::move(name);
  node.children_ = std::move(fields);
  node.non_exhaustive_ = non_exhaustive;
  return node;
}

DebugNode DebugNode::wrapper(std::string name, DebugNode inner) {
  DebugNode node;
  node.shape_ = Shape::Wrapper;
  node.text_ = std::move(name);
  node.children_.emplace_back(std::string(), std::move(inner));
  return node;
}

DebugNode DebugNode::list(std::vector<DebugNode> items) {
  DebugNode node;
  node.shape_ = Shape::List;
  for (auto& item : items) node.children_.emplace_back(std::string(), std::move(item));
  return node;
}

std::string DebugNode::compact() const {
  std::string out;
  write_compact(out);
  return out;
}

std::string DebugNode::pretty() const {
  std::string out;
  write_pretty(out, 0);
  return out;
}

void DebugNode::write_compact(std::string& out) const {
  switch (shape_) {
    case Shape::Leaf:
      out += text_;
      return;
    case Shape::Record: {
      out += text_;
      if (children_.empty() && !non_exhaustive_) return;
      out += " { ";
      bool first = true;
      for (const auto& [name, value] : children_) {
        if (!first) out += ", ";
        first = false;
        out += name;
        out += ": ";
        value.write_compact(out);
      }
      if (non_exhaustive_) out += first ? ".." : ", ..";
      out += " }";
      return;
    }
    case Shape::Wrapper:
      out += text_;
      out += '(';
      children_.front().second.write_compact(out);
      out += ')';
      return;
    case Shape::List: {
      out += '[';
      bool first = true;
      for (const auto& item : children_) {
        if (!first) out += ", ";
        first = false;
        item.second.write_compact(out);
      }
      out += ']';
      return;
    }
  }
}

void DebugNode::write_pretty(std::string& out, int depth) const {
  switch (shape_) {
    case Shape::Leaf:
      write_indented_leaf(out, text_, depth);
      return;
    case Shape::Record:
      out += text_;
      if (children_.empty() && !non_exhaustive_) return;
      out += " {\n";
      for (const auto& [name, value] : children_) {
        indent(out, depth + 1);
        out += name;
        out += ": ";
        value.write_pretty(out, depth + 1);
        out += ",\n";
      }
      if (non_exhaustive_) {
        indent(out, depth + 1);
        out += "..\n";
      }
      indent(out, depth);
      out += '}';
      return;
    case Shape::Wrapper:
      out += text_;
      out += "(\n";
      indent(out, depth + 1);
      children_.front().second.write_pretty(out, depth + 1);
      out += ",\n";
      indent(out, depth);
      out += ')';
      return;
    case Shape::List:
      if (children_.empty()) {
        out += "[]";
        return;
      }
      out += "[\n";
      for (const auto& item : children_) {
        indent(out, depth + 1);
        item.second.write_pretty(out, depth + 1);
        out += ",\n";
      }
      indent(out, depth);
      out += ']';
      return;
  }
}

}  // namespace sparvik
