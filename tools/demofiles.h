#pragma once
// The demo library and model that a first run opens. Both are made by our own code: the
// library by the block encoder, the model by the documented model-file builder of the tests,
// so anyone can regenerate them byte for byte.
//
// demo.mtls: six materials of a character over five shaders (gear, head, eye, skin, hair),
//   every parameter type, global shader flag items, a texture on every material and hashes
//   as a save under Characters/demo_hero/ computes them.
// demo.mdl: a character model whose part names pick those five shaders.

#include <QByteArray>
#include <QString>

namespace demo {

inline const char* const LibraryFileName = "demo.mtls";
inline const char* const ModelFileName = "demo.mdl";
// The folder a user saves into, created beside the demo files; a save under a
// Characters/<name>/ folder hashes the textures as that character's.
inline const char* const SaveFolder = "Characters/demo_hero";
// Texture directory of that folder, lower-cased as the hashes take it.
inline const char* const TextureDirectory = "characters/demo_hero/textures/";

QByteArray libraryBytes();
QByteArray modelBytes();

// Writes both files and the save folder into `folder` (created when missing). Returns the
// error text, empty on success.
QString writeDemoFiles(const QString& folder);

} // namespace demo
