// Reading one document on several threads at once.
#pragma once

namespace tolvane::cad {

class Document;

// Makes the name lookups of the document's tables (blocks, layers, text and dimension styles,
// line types), each of which is made on its first use: from then on threads may look names up
// side by side, as long as nothing changes the document meanwhile.
void makeNameLookups(const Document& doc);

}  // namespace tolvane::cad
