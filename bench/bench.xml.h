// The bare XML parse the reader's figures are set against: pugixml building
// its DOM from bytes already in memory, with the options the platform's DOM
// adaptor (platform.xmldom) parses with, and nothing else.
#pragma once

#include <string_view>

#include <pugixml.hpp>

// The DOM adaptor's options: CDATA, entities, attribute white space and line
// ends translated, comments and processing instructions kept, parsed as a
// fragment.
inline constexpr unsigned dom_parse_options =
    pugi::parse_default | pugi::parse_comments | pugi::parse_pi | pugi::parse_fragment;

// Parses `bytes` into `doc` with the adaptor's options. True when pugixml
// accepts them; false (and `doc` empty) when it does not.
bool bare_parse_bytes(pugi::xml_document& doc, std::string_view bytes);
