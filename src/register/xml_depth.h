#pragma once
// How deeply the elements of an XML text nest, told without parsing it: the XML parser
// recurses once per level, so a configuration nested tens of thousands of levels deep would
// overflow the stack before any rule of ours could refuse it.

#include <cstddef>
#include <string_view>

// The deepest element nesting; comments, CDATA sections, processing instructions,
// declarations and quoted attribute values are passed over.
std::size_t XmlNestingDepth(std::string_view text);
