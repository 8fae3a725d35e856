#include "interfaces/docmodel/markdown.h"

#include <memory>

#include <cmark.h>

#include "interfaces/base/utf8.h"

namespace pelto::model {

namespace {

std::string literal(cmark_node* node) {
  const char* s = cmark_node_get_literal(node);
  return s ? s : "";
}

struct Span {
  size_t start, end;
  std::string name;
  crdt::Scalar value;
};

struct Inline {
  std::string text;
  size_t chars = 0;
  std::vector<Span> marks;

  void append(std::string_view s) {
    text += s;
    chars += utf8::length(s);
  }
};

void collect_inline(cmark_node* node, Inline& out) {
  for (cmark_node* c = cmark_node_first_child(node); c; c = cmark_node_next(c)) {
    size_t start = out.chars;
    switch (cmark_node_get_type(c)) {
      case CMARK_NODE_TEXT:
      case CMARK_NODE_HTML_INLINE:
        out.append(literal(c));
        break;
      case CMARK_NODE_SOFTBREAK:
        out.append(" ");
        break;
      case CMARK_NODE_LINEBREAK:
        out.append("\n");
        break;
      case CMARK_NODE_CODE:
        out.append(literal(c));
        if (out.chars > start) out.marks.push_back({start, out.chars, "code", true});
        break;
      case CMARK_NODE_EMPH:
        collect_inline(c, out);
        if (out.chars > start) out.marks.push_back({start, out.chars, "italic", true});
        break;
      case CMARK_NODE_STRONG:
        collect_inline(c, out);
        if (out.chars > start) out.marks.push_back({start, out.chars, "bold", true});
        break;
      case CMARK_NODE_LINK: {
        collect_inline(c, out);
        const char* url = cmark_node_get_url(c);
        if (out.chars > start && url && *url) out.marks.push_back({start, out.chars, "link", std::string(url)});
        break;
      }
      default:  // images read as their description; anything else as its inline content
        collect_inline(c, out);
        break;
    }
  }
}

struct Context {
  bool quote = false;
  int list_depth = 0;
  bool ordered = false;
};

class Importer {
 public:
  Importer(DocMut& mut) : mut_(mut) {
    auto order = blocks_in_order(mut.doc(), mut.model());
    if (!order.empty()) last_ = order.back();
  }

  Result<void> blocks(cmark_node* parent, Context ctx) {
    for (cmark_node* n = cmark_node_first_child(parent); n; n = cmark_node_next(n)) PELTO_CHECK(block(n, ctx), "import a block");
    return {};
  }

  size_t written() const { return written_; }

 private:
  Result<void> block(cmark_node* n, Context ctx) {
    switch (cmark_node_get_type(n)) {
      case CMARK_NODE_HEADING: {
        Inline in;
        collect_inline(n, in);
        return emit("heading", in, {{"level", int64_t{cmark_node_get_heading_level(n)}}});
      }
      case CMARK_NODE_PARAGRAPH: {
        Inline in;
        collect_inline(n, in);
        if (ctx.list_depth > 0) return emit_item(in, ctx);
        return emit(ctx.quote ? "quote" : "paragraph", in, {});
      }
      case CMARK_NODE_BLOCK_QUOTE:
        ctx.quote = true;
        return blocks(n, ctx);
      case CMARK_NODE_LIST:
        ctx.list_depth += 1;
        ctx.ordered = cmark_node_get_list_type(n) == CMARK_ORDERED_LIST;
        return blocks(n, ctx);
      case CMARK_NODE_ITEM:
        if (!cmark_node_first_child(n)) return emit_item(Inline{}, ctx);
        return blocks(n, ctx);
      case CMARK_NODE_CODE_BLOCK: {
        Inline in;
        std::string code = literal(n);
        if (!code.empty() && code.back() == '\n') code.pop_back();
        in.append(code);
        const char* info = cmark_node_get_fence_info(n);
        std::vector<std::pair<std::string, crdt::Scalar>> attrs;
        if (info && *info) attrs.push_back({"info", std::string(info)});
        return emit("code", in, attrs);
      }
      case CMARK_NODE_THEMATIC_BREAK:
        return emit("rule", Inline{}, {});
      case CMARK_NODE_HTML_BLOCK: {
        Inline in;
        std::string html = literal(n);
        while (!html.empty() && html.back() == '\n') html.pop_back();
        in.append(html);
        return emit("paragraph", in, {});
      }
      default:
        return blocks(n, ctx);
    }
  }

  Result<void> emit_item(const Inline& in, const Context& ctx) {
    std::vector<std::pair<std::string, crdt::Scalar>> attrs;
    if (ctx.ordered) attrs.push_back({"ordered", true});
    if (ctx.list_depth > 1) attrs.push_back({"level", int64_t{ctx.list_depth - 1}});
    return emit("list_item", in, attrs);
  }

  Result<void> emit(std::string_view kind, const Inline& in,
                    const std::vector<std::pair<std::string, crdt::Scalar>>& attrs) {
    std::optional<std::string_view> after;
    if (last_) after = *last_;
    PELTO_TRY(auto id, mut_.insert_block(after, kind), "insert an imported block");
    last_ = id;
    ++written_;
    if (!in.text.empty()) PELTO_CHECK(mut_.splice_text(id, 0, 0, in.text), "write an imported block's text");
    for (const auto& [k, v] : attrs) PELTO_CHECK(mut_.stage_attr(id, k, v), "write an imported attribute");
    for (const auto& m : in.marks)
      PELTO_CHECK(mut_.stage_mark(Region::Body, id, m.start, m.end, m.name, m.value), "write an imported mark");
    return {};
  }

  DocMut& mut_;
  std::optional<std::string> last_;
  size_t written_ = 0;
};

}  // namespace

Result<size_t> FormatProvider::import(std::string_view markdown, DocMut& mut) {
  std::unique_ptr<cmark_node, decltype(&cmark_node_free)> root(
      cmark_parse_document(markdown.data(), markdown.size(), CMARK_OPT_DEFAULT), &cmark_node_free);
  if (!root) return fail("the markdown could not be parsed");
  Importer importer(mut);
  PELTO_CHECK(importer.blocks(root.get(), Context{}), "import markdown");
  PELTO_CHECK(mut.flush_staged(), "import markdown");
  return importer.written();
}

}  // namespace pelto::model
