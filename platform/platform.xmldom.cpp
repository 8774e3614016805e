#include "platform.xmldom.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlreader.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform.debug.h"
#include "platform.files.h"
#include "sysutils.h"
#include "uInterfacedObjects.h"

// ---------------------------------------------------------------------------
// The tree
// ---------------------------------------------------------------------------

namespace {

// Text held by the tree's arena.
struct TText {
  const char* data = nullptr;
  uint32_t size = 0;
  std::string_view view() const { return {data, size}; }
};

// Text held by the arena with its size in front, for records that hold many
// texts: one pointer each.
class TSizedText {
 public:
  TSizedText() = default;
  explicit TSizedText(const char* data) : _data(data) {}
  std::string_view view() const {
    if (!_data) return {};
    uint32_t size;
    std::memcpy(&size, _data - sizeof size, sizeof size);
    return {_data, size};
  }

 private:
  const char* _data = nullptr;
};

// Sixteen bytes: attributes outnumber elements.
struct TAttributeRecord {
  const TText* name = nullptr;  // held once by the document's name table
  TSizedText value;
};

// A node of the tree. Children form a list linked in document order; an
// element's attributes lie in one array.
struct TNodeRecord {
  TNodeRecord* parent = nullptr;
  TNodeRecord* next_sibling = nullptr;
  TNodeRecord* first_child = nullptr;
  TAttributeRecord* attributes = nullptr;
  // An element's qualified name; a processing instruction's target, a NUL
  // and its data; the content of text, CDATA and comments.
  const char* text = nullptr;
  uint32_t text_size = 0;
  uint32_t attribute_count = 0;
  uint32_t child_count = 0;
  TTextPosition position;
  TXMLNodeType type = NODE_INVALID;

  std::string_view content() const { return {text, text_size}; }
  // A processing instruction's target and data.
  std::string_view target() const { return {text, std::strlen(text)}; }
  std::string_view data() const { return content().substr(std::strlen(text) + 1); }
};

bool is_text(const TNodeRecord* n) { return n->type == NODE_TEXT || n->type == NODE_CDATA_SECTION; }

// Bump allocation in blocks that live as long as the tree: nodes, attribute
// arrays and text cost no allocation of their own and go all at once.
class TArena {
 public:
  TArena() = default;
  TArena(const TArena&) = delete;
  TArena& operator=(const TArena&) = delete;

  void* allocate(size_t size, size_t align) {
    if (size > max_block / 4) return dedicated(size);
    size_t pad = _next ? (align - reinterpret_cast<uintptr_t>(_next) % align) % align : 0;
    if (!_next || size + pad > size_t(_end - _next)) {
      grow(size);
      pad = 0;  // a new block is aligned for anything
    }
    char* p = _next + pad;
    _next = p + size;
    return p;
  }

  template <class T>
  T* make() {
    return new (allocate(sizeof(T), alignof(T))) T();
  }

  TText copy(std::string_view text) {
    if (text.size() > UINT32_MAX) throw std::bad_alloc();
    char* p = static_cast<char*>(allocate(text.size() + 1, 1));
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = '\0';
    return {p, uint32_t(text.size())};
  }

  TSizedText copy_sized(std::string_view text) {
    if (text.size() > UINT32_MAX) throw std::bad_alloc();
    const uint32_t size = uint32_t(text.size());
    char* p = static_cast<char*>(allocate(sizeof size + text.size() + 1, alignof(uint32_t)));
    std::memcpy(p, &size, sizeof size);
    std::memcpy(p + sizeof size, text.data(), text.size());
    p[sizeof size + text.size()] = '\0';
    return TSizedText(p + sizeof size);
  }

 private:
  static constexpr size_t first_block = size_t(16) << 10;
  static constexpr size_t max_block = size_t(4) << 20;

  // A new current block that holds at least `size` bytes.
  void grow(size_t size) {
    const size_t block = std::max(_block_size, size);
    _blocks.emplace_back(new char[block]);
    _next = _blocks.back().get();
    _end = _next + block;
    _block_size = std::min(_block_size * 2, max_block);
  }
  // A block of its own for a large text; the current block stays in use.
  void* dedicated(size_t size) {
    _blocks.emplace_back(new char[size]);
    return _blocks.back().get();
  }

  std::vector<std::unique_ptr<char[]>> _blocks;
  char* _next = nullptr;
  char* _end = nullptr;
  size_t _block_size = first_block;
};

// A loaded tree: the document node and everything below it.
struct TTree : TXMLTree {
  TArena arena;
  TNodeRecord* document = nullptr;
};

// ---------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------

// The qualified names of a document, each held once. The parser hands names
// out as pointers into its dictionary, so a prefix and a local name pointer
// find a name without comparing text; the text is still checked, so that a
// pointer the parser has let go and used again for another name cannot find
// the old one.
class TNameTable {
 public:
  explicit TNameTable(TArena& arena) : _arena(arena), _slots(64) {}

  // "prefix:local", or "local" without a prefix; the text lives as long as
  // the tree.
  const TText* name(const xmlChar* prefix, const xmlChar* local) { return find(prefix, local, false); }
  // "xmlns:prefix", or "xmlns" for the default namespace.
  const TText* declaration(const xmlChar* prefix) { return find(prefix, nullptr, true); }

 private:
  struct TSlot {
    const xmlChar* prefix = nullptr;
    const xmlChar* local = nullptr;
    bool declaration = false;
    const TText* text = nullptr;
  };

  static std::string spelled(const xmlChar* prefix, const xmlChar* local, bool declaration) {
    const char* p = reinterpret_cast<const char*>(prefix);
    const char* l = reinterpret_cast<const char*>(local);
    if (declaration) return p ? fmt::format("xmlns:{}", p) : std::string("xmlns");
    return p ? fmt::format("{}:{}", p, l ? l : "") : std::string(l ? l : "");
  }

  const TText* find(const xmlChar* prefix, const xmlChar* local, bool declaration) {
    size_t mask = _slots.size() - 1;
    size_t i = hash(prefix, local, declaration);
    for (;; ++i) {
      TSlot& slot = _slots[i & mask];
      if (!slot.text) break;
      if (slot.prefix == prefix && slot.local == local && slot.declaration == declaration) {
        if (!spells(slot.text->view(), prefix, local, declaration)) slot.text = spell(prefix, local, declaration);
        return slot.text;
      }
    }
    const TText* text = spell(prefix, local, declaration);
    _slots[i & mask] = {prefix, local, declaration, text};
    if (++_used * 2 > _slots.size()) rehash();
    return text;
  }

  static size_t hash(const xmlChar* prefix, const xmlChar* local, bool declaration) {
    return (reinterpret_cast<uintptr_t>(prefix) * 0x9E3779B97F4A7C15u ^
            reinterpret_cast<uintptr_t>(local) * 0xC2B2AE3D27D4EB4Fu ^ size_t(declaration)) >>
           7;
  }

  // The name's text, held by the arena.
  const TText* spell(const xmlChar* prefix, const xmlChar* local, bool declaration) {
    TText* text = _arena.make<TText>();
    *text = _arena.copy(spelled(prefix, local, declaration));
    return text;
  }

  // Whether `text` is the spelling of the name, checked without building it.
  static bool spells(std::string_view text, const xmlChar* prefix, const xmlChar* local, bool declaration) {
    auto take = [&](std::string_view part) {
      if (!text.starts_with(part)) return false;
      text.remove_prefix(part.size());
      return true;
    };
    auto view = [](const xmlChar* p) { return p ? std::string_view(reinterpret_cast<const char*>(p)) : ""; };
    if (declaration) return take("xmlns") && (!prefix || (take(":") && take(view(prefix)))) && text.empty();
    return (!prefix || (take(view(prefix)) && take(":"))) && take(view(local)) && text.empty();
  }

  void rehash() {
    std::vector<TSlot> old(_slots.size() * 2);
    old.swap(_slots);
    _used = 0;
    const size_t mask = _slots.size() - 1;
    for (const TSlot& slot : old) {
      if (!slot.text) continue;
      size_t i = hash(slot.prefix, slot.local, slot.declaration);
      while (_slots[i & mask].text) ++i;
      _slots[i & mask] = slot;
      ++_used;
    }
  }

  TArena& _arena;
  std::vector<TSlot> _slots;
  size_t _used = 0;
};

// ---------------------------------------------------------------------------
// Building the tree from the parser's events
// ---------------------------------------------------------------------------

// One line of the parser's message.
std::string one_line(const char* message) {
  std::string text = message ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

bool is_blank(std::string_view text) {
  for (char c : text)
    if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return false;
  return true;
}

// The parser's place in its input, in bytes from the start and as line and
// column.
struct TMark {
  int64_t offset = -1;
  TTextPosition position{1, 1};
};

// One pass of the parser over a file: its callbacks build the tree, and the
// first error it reports (or one of the builder's own refusals) is kept.
// Every callback catches what it raises: nothing may unwind through the
// parser.
class TTreeBuilder {
 public:
  TTreeBuilder(TTree& tree, uint64_t file_size)
      : _tree(tree), _names(tree.arena), _budget(xml_expansion_factor * file_size + xml_expansion_allowance) {
    _tree.document = _tree.arena.make<TNodeRecord>();
    _tree.document->type = NODE_DOCUMENT;
    _open.push_back({_tree.document, nullptr});
  }

  // The callbacks, for a parser whose user data is its context.
  static xmlSAXHandler handler();

  // Starts a pass with `main` as the document's parser; the callbacks of
  // this thread go to this builder until `end`.
  void begin(xmlParserCtxtPtr main) {
    _main = main;
    _active = this;
  }
  void end() {
    flush_text();
    _active = nullptr;
    _main = nullptr;
  }

  bool failed() const { return _failed; }
  const TXMLParseError& error() const { return _error; }
  bool has_dtd() const { return _has_dtd; }

  // The builder of this thread's running pass, if any.
  static TTreeBuilder* active() { return _active; }

  // An error of the parser or of a library it calls. Warnings and namespace
  // errors do not stop a load; anything else does.
  void on_error(const xmlError* e) {
    if (!e || e->level == XML_ERR_NONE || e->level == XML_ERR_WARNING || e->domain == XML_FROM_NAMESPACE) return;
    std::string reason = one_line(e->message);
    if (e->domain == XML_FROM_PARSER && e->code == XML_ERR_INTERNAL_ERROR && reason.starts_with("Excessive depth"))
      reason = fmt::format("elements nest more than {} deep", xml_max_depth);
    // An error without a place of its own (an encoding converter's, which
    // reads ahead of the parser) is given none.
    record(reason, {e->line, e->int2});
    // Errors come from anywhere in the parser, also from the middle of
    // changing buffers, where stopping it would pull them away: the parser
    // only stops calling back (a fatal error stops it anyway).
    if (_main) _main->disableSAX = 1;
  }

 private:
  static inline thread_local TTreeBuilder* _active = nullptr;

  static TTreeBuilder& of(void*) { return *_active; }
  static xmlParserCtxtPtr context(void* ctx) { return static_cast<xmlParserCtxtPtr>(ctx); }

  // Runs a callback's work; what it raises ends the load.
  template <class F>
  static void guarded(void* ctx, F&& work) noexcept {
    TTreeBuilder& builder = of(ctx);
    if (builder._failed) return;
    try {
      work(builder);
    } catch (const std::bad_alloc&) {
      builder.fail(ctx, "out of memory");
    } catch (const std::exception& e) {
      builder.fail(ctx, e.what());
    }
  }

  // Keeps the first reason only.
  void record(const std::string& reason, TTextPosition at) {
    _failed = true;
    if (!_error.reason.empty()) return;
    _error.reason = reason.empty() ? "the document does not load" : reason;
    _error.line = std::max(at.line, 0);
    _error.column = std::max(at.column, 0);
  }
  // Stops the parser `ctx` from one of its callbacks, where that is safe, and
  // the document's parser with it; when `ctx` reads an entity's text, the
  // document's parser is inside the reference and is only told to end.
  void stop(void* ctx) {
    xmlParserCtxtPtr parser = context(ctx);
    parser->wellFormed = 0;  // nothing falls back to looking the entity up itself
    xmlStopParser(parser);
    if (_main && parser != _main) {
      _main->wellFormed = 0;
      _main->disableSAX = 1;
      _main->instate = XML_PARSER_EOF;
    }
  }
  // Ends the load with the builder's own reason, placed where the parser is.
  void fail(void* ctx, const std::string& reason) {
    record(reason, here());
    stop(ctx);
  }

  // --- Places ---------------------------------------------------------------

  // Where the document's parser is in its file.
  TTextPosition here() const {
    if (!_main || !_main->input) return {};
    return {_main->input->line, _main->input->col};
  }

  // True when `ctx` reads the file itself, not text an entity brought in.
  bool in_file(void* ctx) const { return ctx == _main && _main->inputNr == 1 && _main->input; }

  static int64_t offset_of(xmlParserInputPtr in, const xmlChar* p) { return int64_t(in->consumed) + (p - in->base); }

  // Notes the parser's place after an event; `past` characters of ASCII
  // markup that the parser has yet to step over belong to the event.
  void mark(void* ctx, int past = 0) {
    _next_known = false;
    if (!in_file(ctx)) return;
    xmlParserInputPtr in = _main->input;
    _mark.offset = offset_of(in, in->cur) + past;
    _mark.position = {in->line, in->col + past};
    // Inside the root element the parser reports everything it reads, so
    // the next node starts here; outside it, white space goes unreported.
    _next = _mark.position;
    _next_known = _open.size() > 1;
  }

  // `from` advanced over the bytes [p, end): lines end at LF (a CR before it
  // is part of the break), columns count characters.
  static TTextPosition advance(TTextPosition from, const xmlChar* p, const xmlChar* end) {
    for (; p < end; ++p) {
      if (*p == '\n') {
        ++from.line;
        from.column = 1;
      } else if ((*p & 0xC0) != 0x80 && !(*p == '\r' && p + 1 < end && p[1] == '\n')) {
        ++from.column;
      }
    }
    return from;
  }

  // The number of characters in [p, end), a CR before a LF not counted.
  static int32_t characters_in(const xmlChar* p, const xmlChar* end) { return advance({1, 1}, p, end).column - 1; }

  // Where the markup that the parser has just read starts. Inside the root
  // element that is where the last event ended. Elsewhere (outside the root,
  // or right after an entity's text) it is the last `opener` before the
  // parser's place ("<" cannot occur inside a tag, "<!--" not inside a
  // comment), placed by counting back from the parser's own line and column,
  // which are right at the end of markup.
  TTextPosition markup_position(void* ctx, std::string_view opener) {
    if (!in_file(ctx)) return _mark.position;  // brought in by an entity reference
    if (_next_known) return _next;
    xmlParserInputPtr in = _main->input;
    const xmlChar* cur = in->cur;
    const TTextPosition at{in->line, in->col};
    const xmlChar* start = nullptr;
    for (size_t before = size_t(cur - in->base); before > 0;) {
      const void* lt = ::memrchr(in->base, '<', before);
      if (!lt) break;
      const xmlChar* p = static_cast<const xmlChar*>(lt);
      if (size_t(cur - p) >= opener.size() && std::memcmp(p, opener.data(), opener.size()) == 0) {
        start = p;
        break;
      }
      before = size_t(p - in->base);
    }
    if (!start) return _mark.position;
    const int32_t breaks = int32_t(std::count(start, cur, '\n'));
    if (breaks == 0) return {at.line, std::max(1, at.column - characters_in(start, cur))};
    // Markup over several lines: its column comes from the start of its
    // line, or from the mark when the line begins before the buffer does.
    const xmlChar* line_start = start;
    while (line_start > in->base && line_start[-1] != '\n') --line_start;
    int32_t column = characters_in(line_start, start) + 1;
    const int64_t mark_at = _mark.offset - int64_t(in->consumed);
    if (line_start == in->base && _mark.offset >= 0 && mark_at >= 0 && mark_at <= start - in->base)
      column = _mark.position.column + characters_in(in->base + mark_at, start);
    return {at.line - breaks, column};
  }

  // --- Tree -----------------------------------------------------------------

  TNodeRecord* add(TXMLNodeType type, TTextPosition position) {
    TNodeRecord* n = _tree.arena.make<TNodeRecord>();
    n->type = type;
    n->position = position;
    auto& [parent, last] = _open.back();
    n->parent = parent;
    (last ? last->next_sibling : parent->first_child) = n;
    last = n;
    ++parent->child_count;
    return n;
  }

  // Charges `size` bytes of tree text against the budget.
  void spend(void* ctx, size_t size) {
    _spent += size;
    if (_spent > _budget)
      fail(ctx, fmt::format("the document expands to more than {} bytes of text (entity expansion beyond {} times "
                            "the file's size)",
                            _budget, xml_expansion_factor));
  }

  void flush_text() {
    if (!_text_open) return;
    _text_open = false;
    if (is_blank(_text)) return;
    TNodeRecord* n = add(NODE_TEXT, _text_position);
    TText text = _tree.arena.copy(_text);
    n->text = text.data;
    n->text_size = text.size;
  }

  // --- Callbacks --------------------------------------------------------------

  static void start_document(void* ctx) {
    guarded(ctx, [&](TTreeBuilder& b) {
      xmlSAX2StartDocument(ctx);
      b.mark(ctx);
    });
  }

  static void internal_subset(void* ctx, const xmlChar* name, const xmlChar* external_id, const xmlChar* system_id) {
    guarded(ctx, [&](TTreeBuilder& b) {
      b._has_dtd = true;
      if (external_id || system_id) {
        const xmlChar* id = system_id ? system_id : external_id;
        b.fail(ctx, fmt::format("the document type names the external DTD \"{}\", and nothing outside the "
                                "document is read",
                                reinterpret_cast<const char*>(id)));
        return;
      }
      xmlSAX2InternalSubset(ctx, name, external_id, system_id);
      b.mark(ctx);
    });
  }

  static void entity_decl(void* ctx, const xmlChar* name, int type, const xmlChar* public_id, const xmlChar* system_id,
                          xmlChar* content) {
    guarded(ctx, [&](TTreeBuilder& b) {
      xmlSAX2EntityDecl(ctx, name, type, public_id, system_id, content);
      b.mark(ctx);
    });
  }

  static void unparsed_entity_decl(void* ctx, const xmlChar* name, const xmlChar* public_id, const xmlChar* system_id,
                                   const xmlChar* notation) {
    guarded(ctx, [&](TTreeBuilder& b) {
      xmlSAX2UnparsedEntityDecl(ctx, name, public_id, system_id, notation);
      b.mark(ctx);
    });
  }

  static void notation_decl(void* ctx, const xmlChar* name, const xmlChar* public_id, const xmlChar* system_id) {
    guarded(ctx, [&](TTreeBuilder& b) {
      xmlSAX2NotationDecl(ctx, name, public_id, system_id);
      b.mark(ctx);
    });
  }

  static void element_decl(void* ctx, const xmlChar* name, int type, xmlElementContentPtr content) {
    guarded(ctx, [&](TTreeBuilder& b) {
      xmlSAX2ElementDecl(ctx, name, type, content);
      b.mark(ctx);
    });
  }

  static void attribute_decl(void* ctx, const xmlChar* element, const xmlChar* name, int type, int def,
                             const xmlChar* default_value, xmlEnumerationPtr tree) {
    // The declaration takes the enumeration over, also when it is not used.
    bool taken = false;
    guarded(ctx, [&](TTreeBuilder& b) {
      taken = true;
      xmlSAX2AttributeDecl(ctx, element, name, type, def, default_value, tree);
      b.mark(ctx);
    });
    if (!taken) xmlFreeEnumeration(tree);
  }

  // Entities declared in the document are expanded; an external one would
  // have to be read from elsewhere and is refused.
  static xmlEntityPtr get_entity(void* ctx, const xmlChar* name) {
    xmlEntityPtr entity = nullptr;
    guarded(ctx, [&](TTreeBuilder& b) {
      entity = xmlSAX2GetEntity(ctx, name);
      if (entity && entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY) {
        b.fail(ctx, fmt::format("the entity \"{}\" is the external file \"{}\", and nothing outside the document "
                                "is read",
                                reinterpret_cast<const char*>(name),
                                reinterpret_cast<const char*>(entity->SystemID ? entity->SystemID : entity->URI)));
        entity = nullptr;
      }
    });
    return entity;
  }

  static xmlEntityPtr get_parameter_entity(void* ctx, const xmlChar* name) {
    xmlEntityPtr entity = nullptr;
    guarded(ctx, [&](TTreeBuilder& b) {
      entity = xmlSAX2GetParameterEntity(ctx, name);
      if (entity && entity->etype == XML_EXTERNAL_PARAMETER_ENTITY) {
        b.fail(ctx, fmt::format("the parameter entity \"{}\" is the external file \"{}\", and nothing outside the "
                                "document is read",
                                reinterpret_cast<const char*>(name),
                                reinterpret_cast<const char*>(entity->SystemID ? entity->SystemID : entity->URI)));
        entity = nullptr;
      }
    });
    return entity;
  }

  static xmlParserInputPtr resolve_entity(void*, const xmlChar*, const xmlChar*) { return nullptr; }

  static void start_element(void* ctx, const xmlChar* local, const xmlChar* prefix, const xmlChar*, int namespace_count,
                            const xmlChar** namespaces, int attribute_count, int, const xmlChar** attributes) {
    guarded(ctx, [&](TTreeBuilder& b) {
      b.flush_text();
      TNodeRecord* e = b.add(NODE_ELEMENT, b.markup_position(ctx, "<"));
      const TText* name = b._names.name(prefix, local);
      e->text = name->data;
      e->text_size = name->size;
      const size_t count = size_t(namespace_count) + size_t(attribute_count);
      if (count > 0) {
        e->attributes = static_cast<TAttributeRecord*>(
            b._tree.arena.allocate(count * sizeof(TAttributeRecord), alignof(TAttributeRecord)));
        e->attribute_count = uint32_t(count);
        TAttributeRecord* a = e->attributes;
        for (int i = 0; i < namespace_count; ++i, ++a) {
          const char* uri = reinterpret_cast<const char*>(namespaces[2 * i + 1]);
          a->name = b._names.declaration(namespaces[2 * i]);
          a->value = b._tree.arena.copy_sized(uri ? uri : "");
          b.spend(ctx, a->value.view().size());
        }
        for (int i = 0; i < attribute_count; ++i, ++a) {
          const xmlChar* const* at = attributes + 5 * i;
          a->name = b._names.name(at[1], at[0]);
          const std::string_view value(reinterpret_cast<const char*>(at[3]), size_t(at[4] - at[3]));
          a->value = b._tree.arena.copy_sized(value);
          b.spend(ctx, value.size());
        }
      }
      b._open.push_back({e, nullptr});
      xmlParserInputPtr in = b._main->input;
      b.mark(ctx, in && in->cur && *in->cur == '>' ? 1 : 0);
    });
  }

  static void end_element(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
    guarded(ctx, [&](TTreeBuilder& b) {
      b.flush_text();
      if (b._open.size() > 1) b._open.pop_back();
      b.mark(ctx);
    });
  }

  static void characters(void* ctx, const xmlChar* text, int length) {
    guarded(ctx, [&](TTreeBuilder& b) {
      if (!b._text_open) {
        b._text_open = true;
        b._text.clear();
        b._text_position = b._mark.position;
      }
      b._text.append(reinterpret_cast<const char*>(text), size_t(length));
      b.spend(ctx, size_t(length));
      // No mark: the parser calls back before it steps over the text, but
      // with its line and column already past it.
      b._next_known = b.in_file(ctx);
      if (b._next_known) b._next = {b._main->input->line, b._main->input->col};
    });
  }

  static void cdata_block(void* ctx, const xmlChar* text, int length) {
    guarded(ctx, [&](TTreeBuilder& b) {
      b.flush_text();
      TNodeRecord* n = b.add(NODE_CDATA_SECTION, b.markup_position(ctx, "<![CDATA["));
      TText content = b._tree.arena.copy(std::string_view(reinterpret_cast<const char*>(text), size_t(length)));
      n->text = content.data;
      n->text_size = content.size;
      b.spend(ctx, content.size);
      b.mark(ctx);
    });
  }

  static void comment(void* ctx, const xmlChar* text) {
    guarded(ctx, [&](TTreeBuilder& b) {
      if (context(ctx)->inSubset) return b.mark(ctx);  // part of the DTD
      b.flush_text();
      TNodeRecord* n = b.add(NODE_COMMENT, b.markup_position(ctx, "<!--"));
      TText content = b._tree.arena.copy(reinterpret_cast<const char*>(text));
      n->text = content.data;
      n->text_size = content.size;
      b.spend(ctx, content.size);
      b.mark(ctx);
    });
  }

  static void processing_instruction(void* ctx, const xmlChar* target, const xmlChar* data) {
    guarded(ctx, [&](TTreeBuilder& b) {
      if (context(ctx)->inSubset) return b.mark(ctx);  // part of the DTD
      b.flush_text();
      TNodeRecord* n = b.add(NODE_PROCESSING_INSTRUCTION, b.markup_position(ctx, "<?"));
      std::string text = reinterpret_cast<const char*>(target);
      text += '\0';
      if (data) text += reinterpret_cast<const char*>(data);
      TText content = b._tree.arena.copy(text);
      n->text = content.data;
      n->text_size = content.size;
      b.spend(ctx, content.size);
      b.mark(ctx);
    });
  }

  static void structured_error(void*, xmlErrorPtr e) {
    if (TTreeBuilder* b = active()) b->on_error(e);
  }

  TTree& _tree;
  TNameTable _names;
  xmlParserCtxtPtr _main = nullptr;
  // The open elements below the document, each with its last child so far.
  std::vector<std::pair<TNodeRecord*, TNodeRecord*>> _open;
  // Text not yet made a node: adjacent text and entity text make one.
  std::string _text;
  bool _text_open = false;
  TTextPosition _text_position;
  TMark _mark;
  // Where the next node starts, when that is known without looking.
  bool _next_known = false;
  TTextPosition _next;
  uint64_t _budget;
  uint64_t _spent = 0;
  bool _has_dtd = false;
  bool _failed = false;
  TXMLParseError _error;
};

xmlSAXHandler TTreeBuilder::handler() {
  xmlSAXHandler h;
  std::memset(&h, 0, sizeof h);
  h.initialized = XML_SAX2_MAGIC;
  h.startDocument = start_document;
  h.internalSubset = internal_subset;
  h.entityDecl = entity_decl;
  h.unparsedEntityDecl = unparsed_entity_decl;
  h.notationDecl = notation_decl;
  h.elementDecl = element_decl;
  h.attributeDecl = attribute_decl;
  h.getEntity = get_entity;
  h.getParameterEntity = get_parameter_entity;
  h.resolveEntity = resolve_entity;
  h.startElementNs = start_element;
  h.endElementNs = end_element;
  h.characters = characters;
  h.ignorableWhitespace = characters;
  h.cdataBlock = cdata_block;
  h.comment = comment;
  h.processingInstruction = processing_instruction;
  h.serror = structured_error;
  return h;
}

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

// The parser's options: entities expanded, never from the network. Its own
// limits stay on (no XML_PARSE_HUGE): they catch nested expansion loops.
//
// Nothing outside the file is read because the tree's pass refuses every way
// there, before the parser would follow it: the external DTD (no external
// subset is loaded without its callback, and a document naming one is
// refused), external entities and external parameter entities (refused when
// looked up). The validating pass runs only on documents that passed, so it
// finds none of them. The process-wide entity loader is left alone: every
// module file sets up the parser again, and a loader of a module that was
// unloaded would stay behind.
constexpr int parse_options = XML_PARSE_NOENT | XML_PARSE_NONET;

// The first error of this thread's running validation, if one runs.
thread_local TXMLParseError* t_validity_error = nullptr;

void set_up_parser() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    // The parser counts the open elements above a new one.
    xmlParserMaxDepth = unsigned(xml_max_depth - 1);
  });
}

// The file descriptor closes with the scope.
class TFile {
 public:
  explicit TFile(int fd) : _fd(fd) {}
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  ~TFile() {
    if (_fd >= 0) ::close(_fd);
  }
  int fd() const { return _fd; }

  static int read(void* context, char* buffer, int length) {
    for (;;) {
      ssize_t n = ::read(static_cast<TFile*>(context)->_fd, buffer, size_t(length));
      if (n >= 0 || errno != EINTR) return int(n);
    }
  }

 private:
  int _fd;
};

// Routes the parser's messages that have no parser context (encoding
// converters, input buffers) to the running pass, so that nothing is
// printed; the handlers are put back afterwards.
class TLoadScope {
 public:
  TLoadScope()
      : _generic(xmlGenericError),
        _generic_context(xmlGenericErrorContext),
        _structured(xmlStructuredError),
        _structured_context(xmlStructuredErrorContext) {
    xmlSetGenericErrorFunc(nullptr, ignore);
    xmlSetStructuredErrorFunc(nullptr, route);
  }
  ~TLoadScope() {
    xmlSetStructuredErrorFunc(_structured_context, _structured);
    xmlSetGenericErrorFunc(_generic_context, _generic);
  }
  TLoadScope(const TLoadScope&) = delete;
  TLoadScope& operator=(const TLoadScope&) = delete;

 private:
  static void ignore(void*, const char*, ...) {}
  static void route(void*, xmlErrorPtr e) {
    if (TTreeBuilder* builder = TTreeBuilder::active()) {
      builder->on_error(e);
    } else if (t_validity_error && t_validity_error->reason.empty() && e && e->level >= XML_ERR_ERROR &&
               e->domain != XML_FROM_NAMESPACE) {
      t_validity_error->reason = one_line(e->message);
      t_validity_error->line = std::max(e->line, 0);
      t_validity_error->column = std::max(e->int2, 0);
    }
  }

  xmlGenericErrorFunc _generic;
  void* _generic_context;
  xmlStructuredErrorFunc _structured;
  void* _structured_context;
};

// Reads the file open as `file` into `tree`. True when it is well-formed and
// everything it needs is inside it; `has_dtd` tells whether it declares a
// document type.
bool build_tree(TFile& file, uint64_t size, TTree& tree, bool& has_dtd, TXMLParseError& error) {
  TTreeBuilder builder(tree, size);
  xmlSAXHandler handler = TTreeBuilder::handler();
  xmlParserCtxtPtr ctxt = xmlCreateIOParserCtxt(&handler, nullptr, TFile::read, nullptr, &file, XML_CHAR_ENCODING_NONE);
  if (!ctxt) {
    error.reason = "out of memory";
    return false;
  }
  xmlCtxtUseOptions(ctxt, parse_options);
  builder.begin(ctxt);
  xmlParseDocument(ctxt);
  const bool well_formed = ctxt->wellFormed != 0;
  builder.end();
  if (ctxt->myDoc) xmlFreeDoc(ctxt->myDoc);
  ctxt->myDoc = nullptr;
  xmlFreeParserCtxt(ctxt);

  has_dtd = builder.has_dtd();
  if (well_formed && !builder.failed()) return true;
  error = builder.error();
  if (error.reason.empty()) error.reason = "the document is not well-formed";
  return false;
}

// Checks the file open as `file` against the DTD it declares, with the
// parser's streaming validation (memory bounded by the nesting, not the
// size). True when it is valid.
bool validate(TFile& file, const std::string& url, TXMLParseError& error) {
  if (::lseek(file.fd(), 0, SEEK_SET) != 0) {
    error.reason = fmt::format("cannot read the file again to validate it: {}", std::strerror(errno));
    return false;
  }
  xmlTextReaderPtr reader =
      xmlReaderForIO(TFile::read, nullptr, &file, url.c_str(), nullptr, parse_options | XML_PARSE_DTDVALID);
  if (!reader) {
    error.reason = "out of memory";
    return false;
  }
  // Most messages come structured, through the handler of the load; the
  // checks made at the end (an IDREF naming no ID) only reach the reader's
  // plain handler, which knows the line alone.
  TXMLParseError first;
  t_validity_error = &first;
  xmlTextReaderSetErrorHandler(
      reader,
      [](void* arg, const char* message, xmlParserSeverities severity, xmlTextReaderLocatorPtr locator) {
        auto& f = *static_cast<TXMLParseError*>(arg);
        if (severity == XML_PARSER_SEVERITY_WARNING || severity == XML_PARSER_SEVERITY_VALIDITY_WARNING ||
            !f.reason.empty())
          return;
        f.reason = one_line(message);
        f.line = locator ? std::max(xmlTextReaderLocatorLineNumber(locator), 0) : 0;
      },
      &first);
  int result;
  while ((result = xmlTextReaderRead(reader)) == 1) {
  }
  const bool valid = result == 0 && xmlTextReaderIsValid(reader) == 1;
  xmlFreeTextReader(reader);
  t_validity_error = nullptr;
  if (valid) return true;
  error = first;
  error.reason = "not valid against its DTD: " + (first.reason.empty() ? "the validation failed" : first.reason);
  return false;
}

}  // namespace

std::string xml_error_text(const TXMLParseError& error) {
  std::string place = error.url;
  if (error.line > 0) {
    place += fmt::format(":{}", error.line);
    if (error.column > 0) place += fmt::format(":{}", error.column);
  }
  return place.empty() ? error.reason : place + ": " + error.reason;
}

// ---------------------------------------------------------------------------
// The document
// ---------------------------------------------------------------------------

class CXMLDOMDocument : public TImplements<CSafeInterfacedObject, IXMLDOMDocument> {
 public:
  static CXMLDOMDocument* create() { return construct(new CXMLDOMDocument()); }

  bool get_validate_on_parse() override { return _validate_on_parse; }
  void set_validate_on_parse(bool value) override { _validate_on_parse = value; }

  bool load(const std::string& file_name) override {
    _tree = TXMLTreeHold();
    _error = {};
    TXMLTreeHold hold(new TTree());
    TXMLParseError error;
    if (!read(file_name, *static_cast<TTree*>(hold.get()), error)) {
      error.url = file_name;
      _error = error;
      output_debug_string(fmt::format("XML document not loaded: {}", xml_error_text(_error)));
      return false;
    }
    _tree = std::move(hold);
    return true;
  }

  TXMLNode document_element() override {
    if (!_tree.get()) return {};
    for (const TNodeRecord* n = static_cast<TTree*>(_tree.get())->document->first_child; n; n = n->next_sibling)
      if (n->type == NODE_ELEMENT) return TXMLNode(_tree, n, false);
    return {};
  }

  TXMLParseError parse_error() override { return _error; }

 protected:
  CXMLDOMDocument() = default;

 private:
  bool read(const std::string& file_name, TTree& tree, TXMLParseError& error) {
    set_up_parser();
    const std::string path = resolve_path(file_name);
    TFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.fd() < 0) {
      error.reason = fmt::format("cannot open the file: {}", std::strerror(errno));
      return false;
    }
    struct stat st;
    if (::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
      error.reason = "not a file";
      return false;
    }
    TLoadScope scope;
    bool has_dtd = false;
    if (!build_tree(file, uint64_t(st.st_size), tree, has_dtd, error)) return false;
    if (has_dtd && _validate_on_parse && !validate(file, file_name, error)) return false;
    return true;
  }

  TXMLTreeHold _tree;
  TXMLParseError _error;
  bool _validate_on_parse = false;
};

TRef<IXMLDOMDocument> create_dom_document() { return CXMLDOMDocument::create(); }

void free_xml_tree(TXMLTree* tree) noexcept { delete static_cast<TTree*>(tree); }

// ---------------------------------------------------------------------------
// Nodes
// ---------------------------------------------------------------------------

namespace {

const TNodeRecord* as_node(const void* handle) { return static_cast<const TNodeRecord*>(handle); }
const TAttributeRecord* as_attribute(const void* handle) { return static_cast<const TAttributeRecord*>(handle); }

// All text and CDATA below `root`, in document order, walked without recursion.
std::string text_below(const TNodeRecord* root) {
  const TNodeRecord* first = root->first_child;
  // The common case: one text child.
  if (first && is_text(first) && !first->next_sibling) return std::string(first->content());
  std::string text;
  const TNodeRecord* n = first;
  while (n) {
    if (is_text(n)) text += n->content();
    if (n->first_child) {
      n = n->first_child;
      continue;
    }
    while (n != root && !n->next_sibling) n = n->parent;
    if (n == root) break;
    n = n->next_sibling;
  }
  return text;
}

}  // namespace

int32_t TXMLNode::node_type() const {
  if (!_handle) return NODE_INVALID;
  if (_is_attribute) return NODE_ATTRIBUTE;
  return as_node(_handle)->type;
}

std::string TXMLNode::node_name() const { return std::string(node_name_view()); }

std::string_view TXMLNode::node_name_view() const {
  if (!_handle) return {};
  if (_is_attribute) return as_attribute(_handle)->name->view();
  const TNodeRecord* n = as_node(_handle);
  switch (n->type) {
    case NODE_TEXT: return "#text";
    case NODE_CDATA_SECTION: return "#cdata-section";
    case NODE_COMMENT: return "#comment";
    case NODE_DOCUMENT: return "#document";
    case NODE_PROCESSING_INSTRUCTION: return n->target();
    default: return n->content();
  }
}

std::string TXMLNode::text() const {
  if (!_handle) return {};
  if (_is_attribute) return std::string(as_attribute(_handle)->value.view());
  const TNodeRecord* n = as_node(_handle);
  switch (n->type) {
    case NODE_ELEMENT:
    case NODE_DOCUMENT: return text_below(n);
    case NODE_PROCESSING_INSTRUCTION: return std::string(n->data());
    default: return std::string(n->content());
  }
}

std::optional<std::string> TXMLNode::node_value() const {
  if (!_handle) return std::nullopt;
  if (_is_attribute) return std::string(as_attribute(_handle)->value.view());
  const TNodeRecord* n = as_node(_handle);
  switch (n->type) {
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT: return std::string(n->content());
    case NODE_PROCESSING_INSTRUCTION: return std::string(n->data());
    default: return std::nullopt;
  }
}

TXMLNamedNodeMap TXMLNode::attributes() const {
  if (!_handle || _is_attribute || as_node(_handle)->type != NODE_ELEMENT) return {};
  return TXMLNamedNodeMap(*this);
}

TXMLNodeList TXMLNode::child_nodes() const {
  if (!_handle || _is_attribute) return {};
  return TXMLNodeList(*this);
}

TXMLNode TXMLNode::parent_node() const {
  if (!_handle || _is_attribute) return {};
  const TNodeRecord* parent = as_node(_handle)->parent;
  return parent ? TXMLNode(_tree, parent, false) : TXMLNode();
}

TTextPosition TXMLNode::source_position() const {
  if (!_handle || _is_attribute) return {};
  return as_node(_handle)->position;
}

// ---------------------------------------------------------------------------
// Lists by index
// ---------------------------------------------------------------------------

// Children are a linked list: the cursor makes a walk by rising index cost
// one step per item, and any other access at most one walk from the cursor
// or from the front.

int32_t TXMLNodeList::length() const {
  if (_parent.is_null()) return 0;
  return int32_t(as_node(_parent._handle)->child_count);
}

TXMLNode TXMLNodeList::item(int32_t index) const {
  if (index < 0 || index >= length()) return {};
  const TNodeRecord* n;
  int32_t at;
  if (_cursor && _cursor_index <= index) {
    n = as_node(_cursor);
    at = _cursor_index;
  } else {
    n = as_node(_parent._handle)->first_child;
    at = 0;
  }
  for (; at < index; ++at) n = n->next_sibling;
  _cursor = n;
  _cursor_index = index;
  return TXMLNode(_parent._tree, n, false);
}

int32_t TXMLNamedNodeMap::length() const {
  if (_element.is_null()) return 0;
  return int32_t(as_node(_element._handle)->attribute_count);
}

TXMLNode TXMLNamedNodeMap::item(int32_t index) const {
  if (index < 0 || index >= length()) return {};
  return TXMLNode(_element._tree, as_node(_element._handle)->attributes + index, true);
}

// ---------------------------------------------------------------------------
// A look at the start of a document
// ---------------------------------------------------------------------------

std::optional<TXMLPeekedElement> peek_element(std::string_view bytes, std::string_view root, std::string_view section,
                                              std::string_view child) {
  if (bytes.size() > size_t(std::numeric_limits<int>::max())) bytes = bytes.substr(0, std::numeric_limits<int>::max());
  xmlTextReaderPtr reader = xmlReaderForMemory(bytes.data(), int(bytes.size()), nullptr, nullptr,
                                               XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!reader) return std::nullopt;
  struct TFree {
    xmlTextReaderPtr reader;
    ~TFree() { xmlFreeTextReader(reader); }
  } free_reader{reader};
  xmlTextReaderSetStructuredErrorHandler(
      reader, [](void*, xmlErrorPtr) {}, nullptr);
  const auto name_is = [&](std::string_view name) {
    const xmlChar* n = xmlTextReaderConstName(reader);
    return n && same_text(reinterpret_cast<const char*>(n), name);
  };
  bool in_section = false;
  while (xmlTextReaderRead(reader) == 1) {
    const int type = xmlTextReaderNodeType(reader);
    const int depth = xmlTextReaderDepth(reader);
    if (type == XML_READER_TYPE_END_ELEMENT && depth == 1 && in_section) return std::nullopt;
    if (type != XML_READER_TYPE_ELEMENT) continue;
    if (depth == 0) {
      if (!name_is(root)) return std::nullopt;
    } else if (depth == 1) {
      if (!name_is(section)) return std::nullopt;
      in_section = true;
      if (xmlTextReaderIsEmptyElement(reader)) return std::nullopt;
    } else if (depth == 2 && in_section && name_is(child)) {
      TXMLPeekedElement element;
      while (xmlTextReaderMoveToNextAttribute(reader) == 1) {
        const xmlChar* name = xmlTextReaderConstName(reader);
        const xmlChar* value = xmlTextReaderConstValue(reader);
        element.attributes.emplace_back(name ? reinterpret_cast<const char*>(name) : "",
                                        value ? reinterpret_cast<const char*>(value) : "");
      }
      xmlTextReaderMoveToElement(reader);
      if (xmlTextReaderIsEmptyElement(reader)) return element;
      // The text below it, up to its end; bytes that end before that give nothing.
      while (xmlTextReaderRead(reader) == 1) {
        const int inner = xmlTextReaderNodeType(reader);
        if (inner == XML_READER_TYPE_END_ELEMENT && xmlTextReaderDepth(reader) == 2) return element;
        if (inner == XML_READER_TYPE_TEXT || inner == XML_READER_TYPE_CDATA ||
            inner == XML_READER_TYPE_SIGNIFICANT_WHITESPACE || inner == XML_READER_TYPE_WHITESPACE)
          if (const xmlChar* text = xmlTextReaderConstValue(reader))
            element.text += reinterpret_cast<const char*>(text);
      }
      return std::nullopt;
    }
  }
  return std::nullopt;
}
