// The model-file reader on anything: it answers "not a model" exactly when the data does not
// start with "MDL!", never reads outside the data, and its lists keep their promises: every
// material is a name of the name table, none twice, and every plan entry gets one of the
// part-name rules' shaders.
#include "authoring/modelfile.h"
#include "fuzzcheck.h"

#include <QSet>
#include <cstdint>

namespace {

const QSet<QString>& knownShaders()
{
    static const QSet<QString> shaders{
        QStringLiteral("yCS_gear::Normal"),
        QStringLiteral("yPBR::t_BRDF"),
        QStringLiteral("yCS_head::Normal"),
        QStringLiteral("yCS_eye::Normal"),
        QStringLiteral("yCS_eyeOv::Normal"),
        QStringLiteral("yCS_skin::Normal"),
        QStringLiteral("yCS_head::Caruncle"),
        QStringLiteral("yCS_Teeth::Normal"),
        QStringLiteral("yCS_hair::NewHair_ColorChanging_WDF"),
        QStringLiteral("yCS_hair::NewHair_ColorChanging"),
        QStringLiteral("yModelMovie::T_Movie_Mask"),
        QStringLiteral("yIllumination::t_IlluminationMask"),
    };
    return shaders;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No copy: a read one byte past the end lands outside the fuzzer's buffer.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const std::optional<authoring::ModelFile> model = authoring::readModelFile(bytes);
    FUZZ_REQUIRE(model.has_value() == bytes.startsWith("MDL!"), QStringLiteral("magic"));
    if (!model)
        return 0;

    // Every name needs its own 4-byte offset word after the 48-byte head.
    const int offsetWords = qMax(0, (bytes.size() - 48) / 4);
    FUZZ_REQUIRE(model->nameTable.size() <= offsetWords,
                 QStringLiteral("%1 names from %2 bytes").arg(model->nameTable.size()).arg(size));
    QSet<QString> seen;
    for (const QString& material : model->materials) {
        FUZZ_REQUIRE(!seen.contains(material), QStringLiteral("twice: ") + material);
        seen.insert(material);
        FUZZ_REQUIRE(model->nameTable.contains(material),
                     QStringLiteral("not a name: ") + material);
    }

    const QVector<authoring::PlannedMaterial> plan = authoring::materialPlan(*model);
    FUZZ_REQUIRE(plan.size() == model->materials.size(), QStringLiteral("plan size"));
    for (const authoring::PlannedMaterial& planned : plan)
        FUZZ_REQUIRE(knownShaders().contains(planned.shader), planned.shader);
    return 0;
}
