#include "inspect.model.h"

#include <fmt/format.h>

using json = nlohmann::ordered_json;

// ---------------------------------------------------------------------------
// JSON
// ---------------------------------------------------------------------------

namespace {

json vec(const float2& v) { return json::array({v.x, v.y}); }
json vec(const float3& v) { return json::array({v.x, v.y, v.z}); }
json vec(const float4& v) { return json::array({v.x, v.y, v.z, v.w}); }

template <class Link>
json link_json(const Link* link) {
  json transformations = json::array();
  for (const CBXF_transformation* t : *link->transformations())
    transformations.push_back(
        {{"translation", vec(t->translation())}, {"center", vec(t->center())}, {"rotation", vec(t->rotation())}});
  json j = {{"id", link->id()}, {"reference_id", link->reference_id()}, {"transformations", transformations}};
  if constexpr (std::is_same_v<Link, CBXF_article_link>) j["quantity"] = link->quantity();
  return j;
}

template <class Links>
json links_json(const Links* links) {
  json a = json::array();
  for (const auto* link : *links) a.push_back(link_json(link));
  return a;
}

json geometry_json(const CBXF_geometry* geometry) {
  if (auto* box = dynamic_cast<const CBXF_box_geometry*>(geometry))
    return {{"type", "box"}, {"extent", vec(box->extent())}};
  if (auto* prism = dynamic_cast<const CBXF_prism_geometry*>(geometry)) {
    json points = json::array();
    for (const float2& p : *prism->base_points()) points.push_back(vec(p));
    return {{"type", "prism"}, {"base_points", points}, {"z_value", prism->z_value()}};
  }
  return nullptr;
}

json machining_json(const CBXF_machining* machining) {
  if (auto* cut = dynamic_cast<const CBXF_cut_machining*>(machining))
    return {{"type", "cut"},
            {"id", cut->id()},
            {"uid", cut->uid()},
            {"orientation", vec(cut->orientation())},
            {"original_size", cut->original_size()},
            {"final_size", cut->final_size()}};
  return {{"type", "unknown"}, {"id", machining->id()}, {"uid", machining->uid()}};
}

template <class List, class Fn>
json array_of(const List* list, Fn fn) {
  json a = json::array();
  for (const auto* item : *list) a.push_back(fn(item));
  return a;
}

}  // namespace

json model_to_json(const CBXF& doc) {
  const CBXF_head* head = doc.head();
  const CBXF_library* lib = doc.lib();
  json j;
  j["head"] = {{"version", head->version()},
               {"author", head->author()},
               {"copyright", head->copyright()},
               {"country", head->country()},
               {"language", head->language()}};
  j["scene"]["nodes"] = array_of(doc.scene()->nodes(), [](const CBXF_node* n) -> json {
    return {{"id", n->id()},
            {"uid", n->uid()},
            {"description", n->description()},
            {"cabinet_links", links_json(n->cabinet_links())},
            {"container_links", links_json(n->container_links())}};
  });
  json& l = j["library"];
  l["cabinet_groups"] = array_of(lib->cabinet_groups(), [](const CBXF_cabinet_group* g) { return links_json(g); });
  l["cabinets"] = array_of(lib->cabinets(), [](const CBXF_cabinet* c) -> json {
    return {{"id", c->id()},
            {"uid", c->uid()},
            {"model_key", c->model_key()},
            {"description", c->description()},
            {"part_links", links_json(c->part_links())},
            {"container_links", links_json(c->container_links())}};
  });
  l["containers"] = array_of(lib->containers(), [](const CBXF_container* c) -> json {
    return {{"id", c->id()},
            {"uid", c->uid()},
            {"model_key", c->model_key()},
            {"function_unit_links", links_json(c->function_unit_links())},
            {"boundary", {{"kind", c->boundary()->kind()}, {"extent", vec(c->boundary()->extent())}}}};
  });
  l["parts"] = array_of(lib->parts(), [](const CBXF_part* p) -> json {
    return {{"id", p->id()},
            {"uid", p->uid()},
            {"model_key", p->model_key()},
            {"description", p->description()},
            {"geometry", geometry_json(p->geometry())},
            {"drawing_detail",
             {{"front_orientation", vec(p->drawing_detail()->front_orientation())},
              {"floor_orientation", vec(p->drawing_detail()->floor_orientation())}}}};
  });
  l["function_units"] = array_of(lib->function_units(), [](const CBXF_function_unit* f) -> json {
    return {{"id", f->id()},
            {"uid", f->uid()},
            {"description", f->description()},
            {"part_links", links_json(f->part_links())},
            {"article_links", links_json(f->article_links())},
            {"component_links", links_json(f->component_links())}};
  });
  l["articles"] = array_of(lib->articles(), [](const CBXF_article* a) -> json {
    json numbers = json::array();
    IStringList* list = a->component_numbers();
    for (int32_t i = 0; i < list->get_count(); ++i) numbers.push_back(list->get_item(i));
    return {{"id", a->id()},
            {"uid", a->uid()},
            {"item_number", a->item_number()},
            {"article_number", a->article_number()},
            {"total_quantity", a->total_quantity()},
            {"description", a->description()},
            {"material", a->material()},
            {"component_numbers", numbers}};
  });
  l["components"] = array_of(lib->components(), [](const CBXF_component* c) -> json {
    return {{"id", c->id()},
            {"uid", c->uid()},
            {"component_number", c->component_number()},
            {"model_key", c->model_key()},
            {"machining_links", links_json(c->machining_links())}};
  });
  l["machinings"] = array_of(lib->machinings(), [](const CBXF_machining* m) { return machining_json(m); });
  return j;
}

// ---------------------------------------------------------------------------
// Check
// ---------------------------------------------------------------------------

namespace {

class TChecker {
 public:
  std::vector<TProblem> problems;

  // Resolves each link of `links` (at `place`), whose targets are `what`.
  template <class Links>
  void links(const std::string& place, const Links* links, const char* what) {
    int32_t i = 0;
    for (const auto* link : *links) {
      try {
        link->reference();
      } catch (const EAssertionFailed&) {
        problems.push_back({fmt::format("{}[{}]", place, i),
                            fmt::format("no {} with id \"{}\"", what, link->reference_id()), link->source_line(),
                            link->source_column()});
      }
      ++i;
    }
  }
};

}  // namespace

std::vector<TProblem> check_document(const CBXF& doc) {
  TChecker check;
  int32_t i = 0;
  for (const CBXF_node* n : *doc.scene()->nodes()) {
    std::string place = fmt::format("scene.nodes[{}]", i++);
    check.links(place + ".cabinet_links", n->cabinet_links(), "cabinet");
    check.links(place + ".container_links", n->container_links(), "container");
  }
  const CBXF_library* lib = doc.lib();
  i = 0;
  for (const CBXF_cabinet_group* g : *lib->cabinet_groups())
    check.links(fmt::format("library.cabinet_groups[{}]", i++), g, "cabinet");
  i = 0;
  for (const CBXF_cabinet* c : *lib->cabinets()) {
    std::string place = fmt::format("library.cabinets[{}]", i++);
    check.links(place + ".part_links", c->part_links(), "part");
    check.links(place + ".container_links", c->container_links(), "container");
  }
  i = 0;
  for (const CBXF_container* c : *lib->containers())
    check.links(fmt::format("library.containers[{}].function_unit_links", i++), c->function_unit_links(),
                "function unit");
  i = 0;
  for (const CBXF_function_unit* f : *lib->function_units()) {
    std::string place = fmt::format("library.function_units[{}]", i++);
    check.links(place + ".part_links", f->part_links(), "part");
    check.links(place + ".article_links", f->article_links(), "article");
    check.links(place + ".component_links", f->component_links(), "component");
  }
  i = 0;
  for (const CBXF_component* c : *lib->components()) {
    std::string place = fmt::format("library.components[{}]", i++);
    try {
      c->article();
    } catch (const EAssertionFailed&) {
      check.problems.push_back({place, fmt::format("no article lists component number \"{}\"", c->component_number()),
                                c->source_line(), c->source_column()});
    }
    check.links(place + ".machining_links", c->machining_links(), "machining");
  }
  return std::move(check.problems);
}

std::vector<TComponentMesh> component_meshes(const CBXF& doc) {
  std::vector<TComponentMesh> meshes;
  int32_t i = 0;
  for (const CBXF_component* c : *doc.lib()->components()) {
    const std::string place = fmt::format("library.components[{}]", i++);
    try {
      meshes.push_back({place, c->id(), c->article()->article_number() + "_" + c->component_number(), c->source_line(),
                        c->source_column()});
    } catch (const EAssertionFailed&) {  // a problem of its own
    }
  }
  return meshes;
}
