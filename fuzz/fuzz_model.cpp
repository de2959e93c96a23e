// The model-file reader on any bytes: "not a model" exactly when the data does not start with
// "MDL!", no more names than offset words, and every material a name of the table, once.
#include "authoring/modelfile.h"
#include "fuzzcheck.h"

#include <QSet>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // No copy: a read one byte past the end lands outside the fuzzer's buffer.
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const std::optional<authoring::ModelFile> model = authoring::readModelFile(bytes);
    FUZZ_REQUIRE(model.has_value() == bytes.startsWith("MDL!"), "magic");
    if (!model)
        return 0;
    FUZZ_REQUIRE(model->nameTable.size() <= qMax(0, (bytes.size() - 48) / 4), "names");
    FUZZ_REQUIRE(QSet<QString>(model->materials.begin(), model->materials.end()).size() ==
                     model->materials.size(),
                 "a material twice");
    for (const QString& material : model->materials)
        FUZZ_REQUIRE(model->nameTable.contains(material), material);
    FUZZ_REQUIRE(authoring::materialPlan(*model).size() == model->materials.size(), "plan");
    return 0;
}
