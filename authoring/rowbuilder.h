#pragma once
// Builds the row of a new material from a name, a full shader name and what the catalogue
// holds for that shader, renaming texture references after the material.

#include "mtls/library.h"

namespace authoring {

// Model_ID up to its first "_ALPHA" (the whole name when it has none).
QString textureStem(const QString& modelId);

// Cells of columns 0..4 and the parameter cells of the base layout. `cells` is the
// catalogue's "Shaders/" list as stored (empty strings are dropped here); `paramCount` the
// low 16 bits of "Params/". Column 0 holds `rowNumber`.
mtls::GridRow buildMaterialRow(int rowNumber, const QString& modelId, const QString& shader,
                               const QStringList& cells, quint16 paramCount);

} // namespace authoring
