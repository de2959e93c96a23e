#pragma once
// The parts of a model file (.mdl) that name its materials, and the rules that pick a shader
// for a material from its part name.

#include "mtls/refusal.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>
#include <optional>

namespace authoring {

constexpr quint32 ModelMagic = 0x4D444C21;  // "MDL!" read big-endian
constexpr quint32 MaterialTag = 0x214C544D; // "MTL!" read little-endian
constexpr quint32 EndTag = 0x4466424D;      // "MBfD" read little-endian

struct ModelFile {
    QStringList nameTable; // all names of the name table, in file order
    QStringList materials; // names selected by the "MTL!" chunks, duplicates removed
    bool damaged = false;  // something ran past the end of the data or out of range
};

// Nothing when the data does not start with "MDL!". Trusts no count, offset or size.
// Whether data begins with the model magic: what tells a model file from anything else.
bool startsAsModel(const char* data, qint64 size);

std::optional<ModelFile> readModelFile(const QByteArray& data);
std::optional<ModelFile> readModelFile(const char* data, qint64 size);
// The model file at `path`, read to its end whatever its size (it is mapped, not copied).
// No model when it is no model file; the refusal (Io) says why when it could not be read.
struct ModelFileRead {
    std::optional<ModelFile> model;
    mtls::Refusal refusal;
};
ModelFileRead readModelFileAt(const QString& path);

// Full shader name for a material name, by the part-name rules.
QString shaderForPart(const QString& materialName, bool hasHips);

// One material to add for a model: its name without ":skinned" and the shader the part-name
// rules pick for that shortened name ("J_Hips" in the name table selects the default).
struct PlannedMaterial {
    QString name;
    QString shader;
    bool operator==(const PlannedMaterial& o) const { return name == o.name && shader == o.shader; }
};
QVector<PlannedMaterial> materialPlan(const ModelFile& model);

} // namespace authoring
