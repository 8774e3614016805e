#include "host.export.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include <assimp/material.h>
#include <assimp/scene.h>
#include <fmt/format.h>
#include <assimp/Exporter.hpp>
#include <nlohmann/json.hpp>

#include "platform.files.h"
#include "sysutils.h"

namespace {

// A number written with "." or "," as decimal separator; `fallback` when it
// does not read or is not finite.
double read_number(std::string text, double fallback) {
  for (char& c : text)
    if (c == ',') c = '.';
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value) ? value : fallback;
}

}  // namespace

// ---------------------------------------------------------------------------
// What every export says of an entity
// ---------------------------------------------------------------------------

std::string material_name(const CEntity& entity) {
  std::string id = entity.property(".material.default.id");
  return id.empty() ? "default" : id;
}

TSingleRGB material_base_colour(const CEntity& entity) {
  // Colour factors of glTF, and colours of a picture, lie between 0 and 1.
  auto colour = [&](const char* name) {
    const double value = read_number(entity.property(std::string(".material.default.diffuse.") + name), 1.0);
    return float(std::clamp(value, 0.0, 1.0));
  };
  return TSingleRGB(colour("red"), colour("green"), colour("blue"));
}

std::string entity_description(const CEntity& entity) {
  std::string groups;
  for (const CEntity* g = entity.parent(); g; g = g->parent())
    groups = g->name() + (groups.empty() ? "" : "/") + groups;
  std::string text = fmt::format("{} \"{}\"", entity_kind_name(entity.kind()), entity.name());
  if (!groups.empty()) text += fmt::format(" in \"{}\"", groups);
  return text;
}

namespace {

// ---------------------------------------------------------------------------
// JSON
// ---------------------------------------------------------------------------

// Raises EExport when a number of the entity's `what` is not finite: the
// writers never put NaN or infinity into a file (JSON has no such numbers).
void check_finite(const double* values, size_t count, const CEntity* e, const char* what) {
  for (size_t i = 0; i < count; ++i)
    if (!std::isfinite(values[i]))
      throw EExport(e ? fmt::format("{}: non-finite {}", entity_description(*e), what)
                      : fmt::format("non-finite {}", what));
}

void check_finite(const float3& v, const CEntity* e, const char* what) {
  const double values[3] = {v.x, v.y, v.z};
  check_finite(values, 3, e, what);
}

// Raises EExport for the first number of `e` or below that JSON cannot
// hold, members before their group. The writer checks the whole project so
// before it writes anything: nothing is refused half-way through a file.
void check_entity(const CEntity& e) {
  for (const CEntity* m = e.first_member(); m; m = m->next_sibling()) check_entity(*m);
  const TBounds& bounds = e.world_bounds();
  if (e.is_group()) {
    check_finite(bounds.empty ? float3() : bounds.min, &e, "position");
    check_finite(bounds.extent(), &e, "size");
  } else {
    check_finite(e.position(), &e, "position");
    check_finite(e.size(), &e, "size");
  }
  if (!bounds.empty) {
    check_finite(bounds.min, &e, "bounds");
    check_finite(bounds.max, &e, "bounds");
  }
  if (e.has_matrix()) {
    check_finite(e.matrix().m, 16, &e, "matrix");
    check_finite(e.texture_matrix().m, 16, &e, "texture matrix");
  }
}

void check_project(const CProject& project) {
  check_finite(project.placement_center(), nullptr, "placement centre");
  for (const CEntity* e = project.root()->first_member(); e; e = e->next_sibling()) check_entity(*e);
}

// The project as JSON text, written as the entities are visited and handed
// to a file in pieces: the text of a large project is never held whole.
//
// Readable layout: indented by 2, one member per line, each vector, matrix
// and bounds on one line. Compact layout: one line. Numbers and strings as
// nlohmann's JSON writes them (numbers in their shortest form that reads
// back the same, "1.0" for whole numbers; strings with their control
// characters escaped and bytes that are no UTF-8 replaced by U+FFFD).
class TJsonWriter {
 public:
  TJsonWriter(TJsonLayout layout, TFileReplacement* file) : _readable(layout == TJsonLayout::readable), _file(file) {}

  void project(const CProject& project) {
    check_project(project);
    begin('{');
    key("placement_center");
    vector(project.placement_center());
    key("objects");
    begin('[');
    for (const CEntity* e = project.root()->first_member(); e; e = e->next_sibling()) {
      item();
      entity(*e);
    }
    end(']');
    end('}');
    _text += '\n';
    flush();
  }

  std::string take_text() { return std::move(_text); }

 private:
  void entity(const CEntity& e) {
    // A group's position and size are its members' world bounds.
    const TBounds& bounds = e.world_bounds();
    begin('{');
    key("kind");
    string(entity_kind_name(e.kind()));
    key("name");
    string(e.name());
    key("assembly");
    boolean(e.assembly());
    key("article");
    boolean(e.article());
    key("locks");
    _text += '[';
    for (int axis = 0; axis < 3; ++axis) {
      if (axis) comma();
      boolean(e.locks()[axis]);
    }
    _text += ']';
    key("properties");
    begin('{');
    for (const auto& [name, value] : e.properties()) {
      key(name);
      string(value);
    }
    end('}');
    key("position");
    vector(e.is_group() ? (bounds.empty ? float3() : bounds.min) : e.position());
    key("size");
    vector(e.is_group() ? bounds.extent() : e.size());
    key("bounds");
    if (bounds.empty) {
      _text += "null";
    } else {
      _text += '{';
      inline_key("min");
      vector(bounds.min);
      comma();
      inline_key("max");
      vector(bounds.max);
      _text += '}';
    }
    if (e.has_matrix()) {
      key("matrix");
      matrix(e.matrix());
      key("texture_matrix");
      matrix(e.texture_matrix());
    }
    if (e.is_group()) {
      key("children");
      begin('[');
      for (const CEntity* m = e.first_member(); m; m = m->next_sibling()) {
        item();
        entity(*m);
      }
      end(']');
    }
    end('}');
    if (_text.size() >= flush_size) flush();
  }

  // -- structure: objects and arrays with one member or item per line ------

  void begin(char bracket) {
    _text += bracket;
    _empty.push_back(true);
  }

  void end(char bracket) {
    const bool empty = _empty.back();
    _empty.pop_back();
    if (!empty) new_line();
    _text += bracket;
  }

  // Before each member or item of the innermost object or array.
  void item() {
    if (!_empty.back()) _text += ',';
    _empty.back() = false;
    new_line();
  }

  void key(std::string_view name) {
    item();
    inline_key(name);
  }

  void new_line() {
    if (!_readable) return;
    _text += '\n';
    _text.append(2 * _empty.size(), ' ');
  }

  // -- values on one line ---------------------------------------------------

  void inline_key(std::string_view name) {
    string(name);
    _text += _readable ? ": " : ":";
  }

  void comma() { _text += _readable ? ", " : ","; }

  void vector(const float3& v) {
    _text += '[';
    number(v.x);
    comma();
    number(v.y);
    comma();
    number(v.z);
    _text += ']';
  }

  void matrix(const float4x4& m) {
    _text += '[';
    for (int i = 0; i < 16; ++i) {
      if (i) comma();
      number(m.m[i]);
    }
    _text += ']';
  }

  void boolean(bool value) { _text += value ? "true" : "false"; }

  // Finite: the measuring refused everything else.
  void number(double value) {
    char buffer[64];
    _text.append(buffer, nlohmann::detail::to_chars(buffer, buffer + sizeof buffer, value));
  }

  void string(std::string_view text) {
    if (!valid_utf8(text)) {
      _text += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      return;
    }
    _text += '"';
    for (const char c : text) {
      switch (c) {
        case '"': _text += "\\\""; break;
        case '\\': _text += "\\\\"; break;
        case '\b': _text += "\\b"; break;
        case '\f': _text += "\\f"; break;
        case '\n': _text += "\\n"; break;
        case '\r': _text += "\\r"; break;
        case '\t': _text += "\\t"; break;
        default:
          if (uint8_t(c) < 0x20)
            _text += fmt::format("\\u{:04x}", unsigned(uint8_t(c)));
          else
            _text += c;
      }
    }
    _text += '"';
  }

  void flush() {
    if (!_file) return;
    _file->write(_text);
    _text.clear();
  }

  static constexpr size_t flush_size = size_t(1) << 20;

  const bool _readable;
  TFileReplacement* const _file;  // null: the text is kept
  std::string _text;
  std::vector<bool> _empty;  // per open object or array: nothing in it yet
};

// ---------------------------------------------------------------------------
// glTF
// ---------------------------------------------------------------------------

// The host is Z-up, glTF Y-up with its front towards +Z: the root node turns
// the project a quarter turn about X, so that a point (x, y, z) of the host
// lands at (x, z, -y).
const aiMatrix4x4 host_to_gltf(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1);

// `value` as a glTF number (32-bit float); raises EExport naming the entity
// and `what` when it is not finite or beyond that range.
ai_real single(double value, const CEntity& e, const char* what) {
  if (!std::isfinite(value)) throw EExport(fmt::format("{}: non-finite {}", entity_description(e), what));
  if (std::fabs(value) > std::numeric_limits<float>::max())
    throw EExport(
        fmt::format("{}: {} beyond the range of glTF's single-precision numbers", entity_description(e), what));
  return ai_real(value);
}

// The writer gives every node a unique internal id made from its name, trying
// "<name>_node_0", "_1", ... in turn: a project that repeats one name
// thousands of times (every side board of every cabinet) would cost time
// quadratic in the repeats. Nodes are therefore written under unique
// placeholder names, put back in the file afterwards.
const std::string node_placeholder_prefix = "bxf-node-";

std::string node_placeholder(size_t number) { return node_placeholder_prefix + std::to_string(number); }

uint32_t read_u32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | uint8_t(bytes[at + size_t(i)]);
  return value;
}

void append_u32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += char((value >> (8 * i)) & 0xFF);
}

// The names in `document`'s "extensions" objects, wherever they are.
void collect_extensions(const nlohmann::json& value, std::set<std::string>& names) {
  if (value.is_array()) {
    for (const nlohmann::json& item : value) collect_extensions(item, names);
    return;
  }
  if (!value.is_object()) return;
  for (const auto& [key, member] : value.items()) {
    if (key == "extensions" && member.is_object())
      for (const auto& [name, unused] : member.items()) names.insert(name);
    collect_extensions(member, names);
  }
}

// The writer declares extensions in "extensionsUsed" that nothing in the
// file uses; viewers warn of them. Only those used stay declared.
void declare_used_extensions(nlohmann::json& document) {
  std::set<std::string> used;
  collect_extensions(document, used);
  for (const char* list : {"extensionsUsed", "extensionsRequired"}) {
    const auto declared = document.find(list);
    if (declared == document.end()) continue;
    nlohmann::json kept = nlohmann::json::array();
    if (declared->is_array())
      for (const nlohmann::json& name : *declared)
        if (name.is_string() && used.count(name.get<std::string>())) kept.push_back(name);
    if (kept.empty())
      document.erase(declared);
    else
      *declared = std::move(kept);
  }
}

// The glTF binary `glb` with the placeholder node names replaced by `names`
// and only the extensions it uses declared. Raises EExport when `glb` is not
// the binary container the writer makes.
std::string with_node_names(const std::string& glb, const std::vector<std::string>& names) {
  constexpr uint32_t magic = 0x46546C67, json_chunk = 0x4E4F534A;
  if (glb.size() < 20 || read_u32(glb, 0) != magic || read_u32(glb, 16) != json_chunk ||
      read_u32(glb, 12) > glb.size() - 20)
    throw EExport("the glTF writer gave no binary container");
  const size_t json_length = read_u32(glb, 12);
  nlohmann::json document = nlohmann::json::parse(glb.substr(20, json_length), nullptr, false);
  if (document.is_discarded()) throw EExport("the glTF writer's JSON chunk does not read");
  if (const auto nodes = document.find("nodes"); nodes != document.end() && nodes->is_array())
    for (nlohmann::json& node : *nodes) {
      const auto name = node.find("name");
      if (name == node.end() || !name->is_string()) continue;
      const std::string& text = name->get_ref<const std::string&>();
      size_t number = names.size();
      if (text.starts_with(node_placeholder_prefix))
        std::from_chars(text.data() + node_placeholder_prefix.size(), text.data() + text.size(), number);
      if (number < names.size()) *name = names[number];
    }
  declare_used_extensions(document);
  std::string text = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  text.append((4 - text.size() % 4) % 4, ' ');  // chunks are 4-byte aligned, JSON padded with spaces

  const std::string rest = glb.substr(20 + json_length);  // the binary chunk, as written
  std::string out = glb.substr(0, 8);                     // magic and version
  append_u32(out, uint32_t(12 + 8 + text.size() + rest.size()));
  append_u32(out, uint32_t(text.size()));
  append_u32(out, json_chunk);
  out += text;
  out += rest;
  return out;
}

class TSceneBuilder {
 public:
  explicit TSceneBuilder(const CProject& project) : _project(project) {}

  // The entities' names, by the number in their nodes' placeholder names.
  std::vector<std::string> take_node_names() { return std::move(_node_names); }

  std::unique_ptr<aiScene> build() {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("project");
    scene->mRootNode->mTransformation = host_to_gltf;
    add_children(scene->mRootNode, _project.top_level());
    if (_materials.empty()) material_index(nullptr);
    scene->mNumMaterials = unsigned(_materials.size());
    scene->mMaterials = new aiMaterial*[_materials.size()];
    for (size_t i = 0; i < _materials.size(); ++i) scene->mMaterials[i] = _materials[i].release();
    scene->mNumMeshes = unsigned(_meshes.size());
    scene->mMeshes = _meshes.empty() ? nullptr : new aiMesh*[_meshes.size()];
    for (size_t i = 0; i < _meshes.size(); ++i) scene->mMeshes[i] = _meshes[i].release();
    return scene;
  }

 private:
  // A node under construction is always a whole tree, so that one refused
  // half-way is freed with the scene.
  void add_children(aiNode* node, const std::vector<CEntity*>& entities) {
    if (entities.empty()) return;
    node->mChildren = new aiNode*[entities.size()];
    for (CEntity* entity : entities) {
      aiNode* child = make_node(*entity);
      child->mParent = node;
      node->mChildren[node->mNumChildren++] = child;
    }
  }

  aiNode* make_node(const CEntity& e) {
    auto node = std::make_unique<aiNode>(node_placeholder(_node_names.size()));
    _node_names.push_back(e.name());
    if (e.is_group()) {
      add_children(node.get(), e.members());
      return node.release();
    }
    if (!e.has_matrix()) return node.release();
    ai_real m[16];
    for (int i = 0; i < 16; ++i) m[i] = single(e.matrix().m[i], e, "matrix");
    node->mTransformation = aiMatrix4x4(m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9], m[10], m[11], m[12],
                                        m[13], m[14], m[15]);
    const bool box = e.kind() == TEntityKind::box;
    if (!box && (e.vertices().empty() || e.indices().empty())) return node.release();
    const unsigned material = material_index(&e);
    // What the mesh is made from: a box's corner and extent, a mesh object's
    // geometry (shared by the objects of one mesh file), and the material.
    std::string key(reinterpret_cast<const char*>(&material), sizeof material);
    if (box) {
      const float3 c = e.position(), s = e.size();
      const double values[6] = {c.x, c.y, c.z, s.x, s.y, s.z};
      key.append(reinterpret_cast<const char*>(values), sizeof values);
    } else {
      const TMeshGeometry* geometry = e.geometry().get();
      key.append(reinterpret_cast<const char*>(&geometry), sizeof geometry);
    }
    auto made = _made.find(key);
    if (made == _made.end()) {
      std::unique_ptr<aiMesh> mesh = box ? cuboid(e) : triangles(e);
      mesh->mName = e.name();
      mesh->mMaterialIndex = material;
      made = _made.emplace(std::move(key), shared_mesh_index(std::move(mesh))).first;
    }
    node->mMeshes = new unsigned[1]{made->second};
    node->mNumMeshes = 1;
    return node.release();
  }

  // The index of a mesh equal to `mesh` (same vertices, normals, triangles
  // and material), adding `mesh` when there is none. Projects repeat the
  // same boards and hardware many times; one mesh each keeps the file small
  // and the writer's buffers from growing with every placed copy.
  unsigned shared_mesh_index(std::unique_ptr<aiMesh> mesh) {
    std::string key(reinterpret_cast<const char*>(&mesh->mMaterialIndex), sizeof mesh->mMaterialIndex);
    const auto append = [&key](const void* data, size_t bytes) { key.append(static_cast<const char*>(data), bytes); };
    append(mesh->mVertices, mesh->mNumVertices * sizeof(aiVector3D));
    key += mesh->mNormals ? 'n' : '-';
    if (mesh->mNormals) append(mesh->mNormals, mesh->mNumVertices * sizeof(aiVector3D));
    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
      append(mesh->mFaces[f].mIndices, mesh->mFaces[f].mNumIndices * sizeof(unsigned));
    const auto [it, added] = _mesh_index.try_emplace(std::move(key), unsigned(_meshes.size()));
    if (added) _meshes.push_back(std::move(mesh));
    return it->second;
  }

  static void set_faces(aiMesh& mesh, const std::vector<uint32_t>& indices) {
    mesh.mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    mesh.mNumFaces = unsigned(indices.size() / 3);
    mesh.mFaces = new aiFace[mesh.mNumFaces];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      mesh.mFaces[f].mNumIndices = 3;
      mesh.mFaces[f].mIndices = new unsigned[3]{indices[3 * f], indices[3 * f + 1], indices[3 * f + 2]};
    }
  }

  static std::unique_ptr<aiMesh> cuboid(const CEntity& e) {
    const float3 c = e.position(), s = e.size();
    for (int axis = 0; axis < 3; ++axis) {
      single(c.items(axis), e, "position");
      single(s.items(axis), e, "size");
      single(c.items(axis) + s.items(axis), e, "position and size");
    }
    // Per face: the axis of its normal, the side (0 low, 1 high), and the two
    // axes spanning it in counter-clockwise order seen from outside.
    struct TFace {
      int axis, side, u, v;
    };
    const TFace faces[6] = {{0, 0, 2, 1}, {0, 1, 1, 2}, {1, 0, 0, 2}, {1, 1, 2, 0}, {2, 0, 1, 0}, {2, 1, 0, 1}};
    auto mesh = std::make_unique<aiMesh>();
    mesh->mNumVertices = 24;
    mesh->mVertices = new aiVector3D[24];
    mesh->mNormals = new aiVector3D[24];
    std::vector<uint32_t> indices;
    for (int f = 0; f < 6; ++f) {
      const TFace& face = faces[f];
      // A negative extent turns the box inside out; keep the faces outward.
      const bool flip = ((s.items(0) < 0) != (s.items(1) < 0)) != (s.items(2) < 0);
      const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      for (int k = 0; k < 4; ++k) {
        double p[3];
        p[face.axis] = c.items(face.axis) + face.side * s.items(face.axis);
        p[face.u] = c.items(face.u) + corners[k][0] * s.items(face.u);
        p[face.v] = c.items(face.v) + corners[k][1] * s.items(face.v);
        mesh->mVertices[4 * f + k] = aiVector3D(ai_real(p[0]), ai_real(p[1]), ai_real(p[2]));
        double n[3] = {0, 0, 0};
        n[face.axis] = (face.side ? 1.0 : -1.0) * (s.items(face.axis) < 0 ? -1 : 1);
        mesh->mNormals[4 * f + k] = aiVector3D(ai_real(n[0]), ai_real(n[1]), ai_real(n[2]));
      }
      const uint32_t b = uint32_t(4 * f);
      if (flip)
        indices.insert(indices.end(), {b, b + 2, b + 1, b, b + 3, b + 2});
      else
        indices.insert(indices.end(), {b, b + 1, b + 2, b, b + 2, b + 3});
    }
    set_faces(*mesh, indices);
    return mesh;
  }

  static std::unique_ptr<aiMesh> triangles(const CEntity& e) {
    if (e.vertices().empty() || e.indices().empty()) return nullptr;
    auto mesh = std::make_unique<aiMesh>();
    mesh->mNumVertices = unsigned(e.vertices().size());
    mesh->mVertices = new aiVector3D[mesh->mNumVertices];
    for (size_t i = 0; i < e.vertices().size(); ++i) {
      const float3& v = e.vertices()[i];
      mesh->mVertices[i] = aiVector3D(single(v.x, e, "vertex"), single(v.y, e, "vertex"), single(v.z, e, "vertex"));
    }
    set_faces(*mesh, e.indices());
    return mesh;
  }

  unsigned material_index(const CEntity* e) {
    const TSingleRGB colour = e ? material_base_colour(*e) : TSingleRGB(1.0f);
    auto key = std::make_tuple(e ? material_name(*e) : std::string("default"), colour.r, colour.g, colour.b);
    auto it = _material_index.find(key);
    if (it != _material_index.end()) return it->second;
    auto material = std::make_unique<aiMaterial>();
    aiString name(std::get<0>(key));
    material->AddProperty(&name, AI_MATKEY_NAME);
    aiColor4D base(colour.r, colour.g, colour.b, 1);
    material->AddProperty(&base, 1, AI_MATKEY_BASE_COLOR);
    material->AddProperty(&base, 1, AI_MATKEY_COLOR_DIFFUSE);
    unsigned index = unsigned(_materials.size());
    _materials.push_back(std::move(material));
    _material_index.emplace(key, index);
    return index;
  }

  const CProject& _project;
  std::vector<std::string> _node_names;
  std::vector<std::unique_ptr<aiMesh>> _meshes;
  std::unordered_map<std::string, unsigned> _mesh_index;  // content -> index in _meshes
  // What a mesh was made from -> index in _meshes: equal sources give equal
  // meshes, so each is made once, not once per placed copy.
  std::unordered_map<std::string, unsigned> _made;
  std::vector<std::unique_ptr<aiMaterial>> _materials;
  std::map<std::tuple<std::string, float, float, float>, unsigned> _material_index;
};

// Raises EExport for the file error `e` of writing `path`, with the
// system's reason (which follows the quoted path in `e`).
[[noreturn]] void throw_write_error(const std::string& path, const EFileError& e) {
  const std::string& text = e.message();
  const size_t end = text.rfind("\". ");
  const std::string reason = end == std::string::npos ? text : text.substr(end + 3);
  throw EExport(fmt::format("{}: the file cannot be written ({})", path, reason));
}

// Writes `bytes` to `path`, replacing the file; raises EExport when it cannot.
void write_export(const std::string& path, const std::string& bytes) {
  try {
    write_file_bytes(path, bytes);
  } catch (const EFileError& e) {
    throw_write_error(path, e);
  }
}

}  // namespace

std::string project_json_text(const CProject& project, TJsonLayout layout) {
  TJsonWriter writer(layout, nullptr);
  writer.project(project);
  return writer.take_text();
}

void write_project_json(const CProject& project, const std::string& path, TJsonLayout layout) {
  try {
    TFileReplacement file(path);
    TJsonWriter(layout, &file).project(project);
    file.commit();
  } catch (const EExport& e) {
    throw EExport(fmt::format("{}: {}", path, e.message()));
  } catch (const EFileError& e) {
    throw_write_error(path, e);
  }
}

void write_project_glb(const CProject& project, const std::string& path) {
  TSceneBuilder builder(project);
  std::unique_ptr<aiScene> scene;
  try {
    scene = builder.build();
  } catch (const EExport& e) {
    throw EExport(fmt::format("{}: {}", path, e.message()));
  }
  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = exporter.ExportToBlob(scene.get(), "glb2");
  if (!blob) throw EExport(fmt::format("{}: {}", path, exporter.GetErrorString()));
  std::string glb;
  try {
    glb = with_node_names(std::string(static_cast<const char*>(blob->data), blob->size), builder.take_node_names());
  } catch (const EExport& e) {
    throw EExport(fmt::format("{}: {}", path, e.message()));
  }
  write_export(path, glb);
}

void write_project_picture(const CProject& project, const std::string& path, TPictureFormat format,
                           const TPictureOptions& options) {
  std::string bytes;
  try {
    bytes = project_picture(project, format, options);
  } catch (const EExport& e) {
    throw EExport(fmt::format("{}: {}", path, e.message()));
  }
  write_export(path, bytes);
}

void write_project(const CProject& project, const std::string& path, const TExportOptions& options) {
  auto ends_with = [&](std::string_view ext) {
    return path.size() >= ext.size() && same_text(std::string_view(path).substr(path.size() - ext.size()), ext);
  };
  if (ends_with(".json"))
    write_project_json(project, path, options.json_layout);
  else if (ends_with(".glb"))
    write_project_glb(project, path);
  else if (ends_with(".svg"))
    write_project_picture(project, path, TPictureFormat::svg, options.picture);
  else if (ends_with(".png"))
    write_project_picture(project, path, TPictureFormat::png, options.picture);
  else if (ends_with(".pdf"))
    write_project_picture(project, path, TPictureFormat::pdf, options.picture);
  else
    throw EExport(fmt::format("{}: the extension is none of .json, .glb, .svg, .png and .pdf", path));
}
