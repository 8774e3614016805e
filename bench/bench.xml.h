// The bare XML parse the reader's figures are set against: libxml2's
// streaming reader stepping through every node of a document, with the
// parser options of the platform's DOM adaptor (platform.xmldom: entities
// expanded, nothing from the network) and nothing else: what
// `xmllint --stream --noout` does, in process. It decodes, checks
// well-formedness and expands entities as the adaptor does, but builds no
// tree that outlives a node and reads no model.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Steps through the document in the file `path`. Returns the number of
// nodes the reader visited, or -1 when the document is not well-formed.
int64_t bare_parse_file(const std::string& path);
// The same for a document already in memory.
int64_t bare_parse_bytes(std::string_view bytes);
