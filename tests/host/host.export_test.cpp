// Writing the project as JSON (stable schema) and as glTF binary, read back
// with assimp.
#include "host.export.h"

#include "host.application.h"
#include "test.support.h"

#include <gtest/gtest.h>

#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <numbers>

namespace fs = std::filesystem;

namespace {

class export_project : public ::testing::Test {
 protected:
  CHost host;
  CEntity* cabinet = nullptr;
  CEntity* board = nullptr;
  CEntity* handle = nullptr;
  CEntity* item = nullptr;
  fs::path folder;

  void SetUp() override {
    folder = fs::temp_directory_path() / ("host export \xC3\xBC " + std::to_string(::getpid()));
    fs::create_directories(folder);
    CProject& p = host.project();
    p.set_placement_center(float3(1, 2, 0));
    cabinet = p.new_entity(TEntityKind::group);
    cabinet->set_name("Base cabinet (KUB)");
    cabinet->set_assembly(true);
    board = p.new_entity(TEntityKind::box);
    board->set_name("Side");
    board->set_size(0, 0.019);
    board->set_size(1, 0.5);
    board->set_size(2, 0.7);
    board->set_matrix(float4x4::identity().translate(0.1, 0, 0));
    board->set_property(".material.default.id", "OAK");
    board->set_property(".material.default.diffuse.red", "0,5");
    board->set_property(".material.default.diffuse.green", "0.25");
    board->set_property(".material.default.diffuse.blue", "1");
    board->set_lock(1, true);
    cabinet->insert_member(board);
    CEntity* inner = p.new_entity(TEntityKind::group);
    inner->set_name("hardware");
    cabinet->insert_member(inner);
    handle = p.new_entity(TEntityKind::mesh);
    handle->set_name("handle");
    handle->set_geometry({{0, 0, 0}, {0.1, 0, 0}, {0, 0.02, 0}, {0, 0, 0.03}}, {0, 1, 2, 0, 2, 3});
    handle->set_matrix(float4x4::identity().rotate_z(std::numbers::pi / 2));
    inner->insert_member(handle);
    item = p.new_entity(TEntityKind::article);
    item->set_name("4711");
    item->set_article(true);
  }
  void TearDown() override { fs::remove_all(folder); }
};

TEST_F(export_project, json_follows_the_schema) {
  nlohmann::ordered_json j = nlohmann::ordered_json::parse(project_json_text(host.project()));
  std::vector<std::string> keys;
  for (auto& [k, v] : j.items()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"placement_center", "objects"}));
  EXPECT_EQ(j["placement_center"], nlohmann::ordered_json::parse("[1.0, 2.0, 0.0]"));
  ASSERT_EQ(j["objects"].size(), 2u);

  const auto& cab = j["objects"][0];
  keys.clear();
  for (auto& [k, v] : cab.items()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"kind", "name", "assembly", "article", "locks", "properties", "position",
                                            "size", "bounds", "children"}));
  EXPECT_EQ(cab["kind"], "group");
  EXPECT_EQ(cab["name"], "Base cabinet (KUB)");
  EXPECT_EQ(cab["assembly"], true);
  ASSERT_EQ(cab["children"].size(), 2u);

  const auto& side = cab["children"][0];
  keys.clear();
  for (auto& [k, v] : side.items()) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"kind", "name", "assembly", "article", "locks", "properties", "position",
                                            "size", "bounds", "matrix", "texture_matrix"}));
  EXPECT_EQ(side["kind"], "box");
  EXPECT_EQ(side["locks"], nlohmann::ordered_json::parse("[false, true, false]"));
  EXPECT_EQ(side["properties"].dump(),
            R"({".material.default.diffuse.blue":"1",".material.default.diffuse.green":"0.25",)"
            R"(".material.default.diffuse.red":"0,5",".material.default.id":"OAK"})");
  EXPECT_EQ(side["size"], nlohmann::ordered_json::parse("[0.019, 0.5, 0.7]"));
  EXPECT_EQ(side["matrix"][3], 0.1);
  EXPECT_EQ(side["matrix"].size(), 16u);
  EXPECT_EQ(side["bounds"]["min"][0], 0.1);

  const auto& hw = cab["children"][1];
  EXPECT_EQ(hw["children"][0]["kind"], "mesh");
  EXPECT_EQ(hw["children"][0]["size"], nlohmann::ordered_json::parse("[0.1, 0.02, 0.03]"));

  const auto& art = j["objects"][1];
  EXPECT_EQ(art["kind"], "article");
  EXPECT_EQ(art["article"], true);
  EXPECT_TRUE(art["bounds"].is_null());
  EXPECT_FALSE(art.contains("matrix"));
  EXPECT_FALSE(art.contains("children"));

  fs::path file = folder / "project.json";
  write_project(host.project(), file.string());
  std::ifstream in(file);
  EXPECT_EQ(nlohmann::ordered_json::parse(in), j);
}

// Readable JSON has one member per line and each vector, matrix and bounds on
// one line; compact JSON is the same text without the layout. Strings are
// escaped as JSON wants them.
TEST(export_json, is_laid_out_for_reading_or_on_one_line) {
  CHost host;
  CProject& p = host.project();
  p.set_placement_center(float3(1, 2, 0.5));
  CEntity* group = p.new_entity(TEntityKind::group);
  group->set_name("g");
  CEntity* box = p.new_entity(TEntityKind::box);
  box->set_name("b\t\"x\"\x01");
  box->set_property("id", "OAK");
  box->set_size(0, 0.25);
  box->set_matrix(float4x4::identity().translate(2, 0, 0));
  group->insert_member(box);
  p.new_entity(TEntityKind::group)->set_name("empty");

  const std::string readable = R"({
  "placement_center": [1.0, 2.0, 0.5],
  "objects": [
    {
      "kind": "group",
      "name": "g",
      "assembly": false,
      "article": false,
      "locks": [false, false, false],
      "properties": {},
      "position": [2.0, 0.0, 0.0],
      "size": [0.25, 1.0, 1.0],
      "bounds": {"min": [2.0, 0.0, 0.0], "max": [2.25, 1.0, 1.0]},
      "children": [
        {
          "kind": "box",
          "name": "b\t\"x\"\u0001",
          "assembly": false,
          "article": false,
          "locks": [false, false, false],
          "properties": {
            "id": "OAK"
          },
          "position": [0.0, 0.0, 0.0],
          "size": [0.25, 1.0, 1.0],
          "bounds": {"min": [2.0, 0.0, 0.0], "max": [2.25, 1.0, 1.0]},
          "matrix": [1.0, 0.0, 0.0, 2.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0],
          "texture_matrix": [1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0]
        }
      ]
    },
    {
      "kind": "group",
      "name": "empty",
      "assembly": false,
      "article": false,
      "locks": [false, false, false],
      "properties": {},
      "position": [0.0, 0.0, 0.0],
      "size": [0.0, 0.0, 0.0],
      "bounds": null,
      "children": []
    }
  ]
}
)";
  EXPECT_EQ(project_json_text(p), readable);

  // Compact: the text above without the space and line breaks between its
  // tokens, as nlohmann's JSON writes a document on one line.
  const std::string compact = project_json_text(p, TJsonLayout::compact);
  EXPECT_EQ(compact, nlohmann::ordered_json::parse(readable).dump() + "\n");
  EXPECT_EQ(std::count(compact.begin(), compact.end(), '\n'), 1);
}

// A name that is no UTF-8 is written as nlohmann's JSON writes it, with the
// broken bytes replaced; the file still reads.
TEST(export_json, broken_utf8_is_replaced) {
  CHost host;
  host.project()
      .new_entity(TEntityKind::group)
      ->set_name(
          "K\xFC"
          "che \xC3");
  const auto json = nlohmann::ordered_json::parse(project_json_text(host.project()));
  EXPECT_EQ(json["objects"][0]["name"],
            "K\xEF\xBF\xBD"
            "che \xEF\xBF\xBD");
}

TEST_F(export_project, empty_group_has_null_bounds) {
  CHost empty;
  empty.project().new_entity(TEntityKind::group);
  auto j = nlohmann::ordered_json::parse(project_json_text(empty.project()));
  EXPECT_TRUE(j["objects"][0]["bounds"].is_null());
  EXPECT_EQ(j["objects"][0]["children"], nlohmann::ordered_json::array());
  EXPECT_EQ(j["objects"][0]["size"], nlohmann::ordered_json::parse("[0.0, 0.0, 0.0]"));
}

TEST_F(export_project, glb_reads_back_with_nodes_meshes_and_materials) {
  fs::path file = folder / "project.glb";
  write_project(host.project(), file.string());
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), 0);
  ASSERT_TRUE(scene) << importer.GetErrorString();
  const aiNode* root = scene->mRootNode;
  auto find = [&](const char* name) { return root->FindNode(name); };
  const aiNode* cab = find("Base cabinet (KUB)");
  ASSERT_TRUE(cab);
  ASSERT_EQ(cab->mNumChildren, 2u);
  EXPECT_STREQ(cab->mChildren[0]->mName.C_Str(), "Side");
  EXPECT_STREQ(cab->mChildren[1]->mName.C_Str(), "hardware");
  const aiNode* h = find("handle");
  ASSERT_TRUE(h);
  EXPECT_EQ(h->mParent, cab->mChildren[1]);
  EXPECT_TRUE(find("4711"));

  const aiNode* side = cab->mChildren[0];
  ASSERT_EQ(side->mNumMeshes, 1u);
  EXPECT_NEAR(side->mTransformation.a4, 0.1, 1e-6);
  const aiMesh* box = scene->mMeshes[side->mMeshes[0]];
  EXPECT_EQ(box->mNumVertices, 24u);
  EXPECT_EQ(box->mNumFaces, 12u);
  aiVector3D lo(1e9, 1e9, 1e9), hi(-1e9, -1e9, -1e9);
  for (unsigned i = 0; i < box->mNumVertices; ++i) {
    const aiVector3D& v = box->mVertices[i];
    lo = aiVector3D(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
    hi = aiVector3D(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
  }
  EXPECT_NEAR(lo.x, 0, 1e-6);
  EXPECT_NEAR(hi.x, 0.019, 1e-6);
  EXPECT_NEAR(hi.y, 0.5, 1e-6);
  EXPECT_NEAR(hi.z, 0.7, 1e-6);

  const aiMaterial* material = scene->mMaterials[box->mMaterialIndex];
  aiString name;
  material->Get(AI_MATKEY_NAME, name);
  EXPECT_STREQ(name.C_Str(), "OAK");
  aiColor4D colour;
  ASSERT_EQ(material->Get(AI_MATKEY_BASE_COLOR, colour), aiReturn_SUCCESS);
  EXPECT_NEAR(colour.r, 0.5, 1e-6);
  EXPECT_NEAR(colour.g, 0.25, 1e-6);
  EXPECT_NEAR(colour.b, 1.0, 1e-6);

  ASSERT_EQ(h->mNumMeshes, 1u);
  const aiMesh* mesh = scene->mMeshes[h->mMeshes[0]];
  EXPECT_EQ(mesh->mNumFaces, 2u);
  EXPECT_EQ(mesh->mNumVertices, 4u);
  material = scene->mMaterials[mesh->mMaterialIndex];
  material->Get(AI_MATKEY_NAME, name);
  EXPECT_STREQ(name.C_Str(), "default");
  EXPECT_NEAR(h->mTransformation.a2, -1, 1e-6);  // the quarter turn about z
}

// Placed copies of one board or one piece of hardware share one mesh; a
// board of another size or material, or another mesh, gets its own.
TEST_F(export_project, glb_shares_meshes_between_equal_copies) {
  CProject& p = host.project();
  auto copy = [&](CEntity* of, double dx) {
    CEntity* e = p.new_entity(of->kind());
    e->set_name(of->name() + " copy");
    for (int axis = 0; axis < 3; ++axis) e->set_size(axis, of->size().items(axis));
    for (const auto& [name, value] : of->properties()) e->set_property(name, value);
    if (of->kind() == TEntityKind::mesh) e->set_geometry(of->vertices(), of->indices());
    e->set_matrix(float4x4::identity().translate(dx, 0, 0));
    return e;
  };
  copy(board, 1);
  copy(board, 2);
  copy(handle, 3);
  copy(board, 4)->set_property(".material.default.id", "BEECH");
  copy(board, 5)->set_size(2, 0.72);
  CEntity* other = copy(handle, 6);
  other->set_geometry({{0, 0, 0}, {0.2, 0, 0}, {0, 0.02, 0}}, {0, 1, 2});

  fs::path file = folder / "copies.glb";
  write_project(p, file.string());
  // The container after the node names were put back: its length, and its
  // JSON chunk padded to four bytes with the binary chunk right after it.
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | uint8_t(bytes[at + size_t(i)]);
    return v;
  };
  ASSERT_GE(bytes.size(), 28u);
  EXPECT_EQ(u32(8), bytes.size());
  const uint32_t json_length = u32(12);
  EXPECT_EQ(json_length % 4, 0u);
  ASSERT_LE(20 + json_length + 8, bytes.size());
  EXPECT_EQ(u32(20 + json_length + 4), 0x004E4942u);  // "BIN\0"
  EXPECT_EQ(20 + json_length + 8 + u32(20 + json_length), bytes.size());
  EXPECT_EQ(bytes.find("bxf-node-"), std::string::npos);
  // Nothing in the file uses an extension, so none is declared.
  const auto document = nlohmann::json::parse(bytes.substr(20, json_length));
  EXPECT_FALSE(document.contains("extensionsUsed"));
  EXPECT_FALSE(document.contains("extensionsRequired"));

  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), 0);
  ASSERT_TRUE(scene) << importer.GetErrorString();
  auto mesh_of = [&](const char* name) {
    const aiNode* node = scene->mRootNode->FindNode(name);
    EXPECT_TRUE(node && node->mNumMeshes == 1) << name;
    return node && node->mNumMeshes == 1 ? node->mMeshes[0] : ~0u;
  };
  EXPECT_EQ(mesh_of("Side copy"), mesh_of("Side"));
  EXPECT_EQ(mesh_of("handle copy"), mesh_of("handle"));
  // Side, handle, the beech side, the taller side, the other handle.
  EXPECT_EQ(scene->mNumMeshes, 5u);
  EXPECT_NEAR(scene->mRootNode->FindNode("Side copy")->mTransformation.a4, 1, 1e-6);
}

TEST_F(export_project, unknown_extension_and_unwritable_path_are_refused) {
  const std::string unknown = (folder / "project.obj").string();
  EXPECT_THROW_MSG(write_project(host.project(), unknown), EExport,
                   unknown + ": the extension is none of .json, .glb, .svg, .png and .pdf");
  const std::string missing = (folder / "no folder" / "p.json").string();
  EXPECT_THROW_MSG(write_project(host.project(), missing), EExport,
                   missing + ": the file cannot be written (No such file or directory)");
  EXPECT_THROW(write_project(host.project(), (folder / "no folder" / "p.GLB").string()), EExport);
}

}  // namespace

namespace {

// `node`'s transform from the scene root down.
aiMatrix4x4 world_of(const aiNode* node) {
  aiMatrix4x4 m;
  for (; node; node = node->mParent) m = node->mTransformation * m;
  return m;
}

}  // namespace

// glTF is Y-up: the root node turns the host's Z-up project so that heights
// come out along +Y and the host's front (-Y) along +Z. Colours stay within
// what glTF allows.
TEST_F(export_project, glb_stands_upright_and_keeps_colours_in_range) {
  handle->set_property(".material.default.diffuse.red", "nan");
  handle->set_property(".material.default.diffuse.green", "-0.5");
  handle->set_property(".material.default.diffuse.blue", "7");
  const fs::path file = folder / "project.glb";
  write_project(host.project(), file.string());
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), 0);
  ASSERT_TRUE(scene) << importer.GetErrorString();
  const aiNode* project = scene->mRootNode->FindNode("project");
  ASSERT_TRUE(project);
  EXPECT_EQ(project->mTransformation, aiMatrix4x4(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1));

  // The side board: 0.019 wide (x), 0.5 deep (y), 0.7 high (z), moved 0.1 along x.
  const aiNode* side = scene->mRootNode->FindNode("Side");
  ASSERT_TRUE(side);
  const aiMesh* box = scene->mMeshes[side->mMeshes[0]];
  const aiMatrix4x4 world = world_of(side);
  aiVector3D lo(1e9, 1e9, 1e9), hi(-1e9, -1e9, -1e9);
  for (unsigned i = 0; i < box->mNumVertices; ++i) {
    const aiVector3D v = world * box->mVertices[i];
    lo = aiVector3D(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
    hi = aiVector3D(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
  }
  EXPECT_NEAR(lo.x, 0.1, 1e-6);
  EXPECT_NEAR(hi.x, 0.119, 1e-6);
  EXPECT_NEAR(lo.y, 0, 1e-6);
  EXPECT_NEAR(hi.y, 0.7, 1e-6);
  EXPECT_NEAR(lo.z, -0.5, 1e-6);
  EXPECT_NEAR(hi.z, 0, 1e-6);

  const aiNode* h = scene->mRootNode->FindNode("handle");
  ASSERT_TRUE(h);
  aiColor4D colour;
  ASSERT_EQ(scene->mMaterials[scene->mMeshes[h->mMeshes[0]]->mMaterialIndex]->Get(AI_MATKEY_BASE_COLOR, colour),
            aiReturn_SUCCESS);
  EXPECT_EQ(colour, aiColor4D(1, 0, 1, 1));  // unreadable: 1; the others clamped
}

// Neither writer writes a number that is not finite, whoever put it into the
// project; glTF also refuses what its 32-bit numbers cannot hold. The message
// names the entity, and an existing file stays as it was.
TEST_F(export_project, numbers_a_file_cannot_hold_are_refused_naming_the_entity) {
  const std::string side = "box \"Side\" in \"Base cabinet (KUB)\"";
  struct TCase {
    const char* what;
    std::function<void()> change, undo;
    std::string json;  // the reason for JSON, "" when JSON takes it
    std::string glb;   // the reason for glTF, "" when glTF takes it
  };
  const std::vector<TCase> cases = {
      // The host refuses a non-finite vertex, position or size itself; world
      // bounds can still overflow through a finite size and a finite matrix.
      {"bounds that overflow",
       [&] { board->set_size(0, 1e10), board->set_matrix(float4x4::identity().scale(1e300, 1, 1)); },
       [&] { board->set_size(0, 0.019), board->set_matrix(float4x4::identity().translate(0.1, 0, 0)); },
       side + ": non-finite bounds", side + ": matrix beyond the range of glTF's single-precision numbers"},
      {"a size beyond single precision", [&] { board->set_size(2, 1e39); }, [&] { board->set_size(2, 0.7); }, "",
       side + ": size beyond the range of glTF's single-precision numbers"},
      {"a matrix beyond single precision", [&] { board->set_matrix(float4x4::identity().translate(0, 1e39, 0)); },
       [&] { board->set_matrix(float4x4::identity().translate(0.1, 0, 0)); }, "",
       side + ": matrix beyond the range of glTF's single-precision numbers"},
      {"a placement centre that is not a number",
       [&] { host.project().set_placement_center(float3(0, std::nan(""), 0)); },
       [&] { host.project().set_placement_center(float3(1, 2, 0)); }, "non-finite placement centre", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    c.change();
    for (const auto& [name, reason] : {std::pair{"p.json", c.json}, std::pair{"p.glb", c.glb}}) {
      const std::string path = (folder / name).string();
      std::ofstream(path) << "old";
      try {
        write_project(host.project(), path);
        EXPECT_EQ(reason, "") << name;
      } catch (const EExport& e) {
        EXPECT_EQ(e.message(), path + ": " + reason);
        std::ifstream in(path);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
      }
    }
    c.undo();
  }
}
