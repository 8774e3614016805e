// What bxf2-inspect shows of a document: the model as JSON, and the check of
// every link and every component's article.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "import.bxf2.types.h"

// The document as JSON: field names are the model's own, vectors are arrays
// of numbers, and every collection is an array in model order.
nlohmann::ordered_json model_to_json(const CBXF& doc);

// A link or component that does not resolve: where it is in the JSON of
// model_to_json ("library.cabinets[2].part_links[0]"), where its element is
// in the file (0 when not known) and what is wrong.
struct TProblem {
  std::string place;
  std::string text;
  int32_t line = 0;
  int32_t column = 0;
};

// Resolves every link of the document and the article of every component,
// as the import does; every failure is one problem, in document order.
std::vector<TProblem> check_document(const CBXF& doc);

// A component and the mesh the import loads for it: "<article number>_
// <component number>" (the stem of cadData/<stem>.dae in an archive).
struct TComponentMesh {
  std::string place;  // as in TProblem
  std::string id;
  std::string stem;
  int32_t line = 0;
  int32_t column = 0;
};

// The mesh of every component whose article resolves, in document order.
std::vector<TComponentMesh> component_meshes(const CBXF& doc);
