#pragma once
// The editor's authoring steps over plain values: what the window holds between two steps,
// and each step from the state before to the state after. The window moves the result into
// its tables; mtls writes it to files. A refused step gives back the state it was given.

#include "authoring/modelfile.h"
#include "mtls/writer.h"

#include <optional>

class ShaderCatalogue;

namespace authoring {

// What the window holds.
struct Session {
    QStringList dictionary;    // texts of the dictionary column, in row order
    mtls::MaterialGrid grid;   // the materials table in the base layout (no swap column)
    QString currentFile;       // "" when the view holds no file
    bool swapPending = false;  // a MODIFY waits for the dialog
    int swapRow = 0;           // the row it replaces
    bool announceSave = false; // the save that ends says so in a box
    QString notice;            // what the last step has to say beside the library's own line
    int cutRow = -1; // a material the file cut: shown as far as it was read, never written
    // The library as its last load read it (offsets, claimed count, truncation); none for
    // the empty view or a state taken from the tables.
    std::optional<mtls::LoadedLibrary> loaded;

    // The empty view: two rows and one column without items, as Clear View leaves it. A
    // pending MODIFY goes with the view.
    static Session cleared();
    bool isCleared() const { return !loaded && currentFile.isEmpty() && grid.columnCount <= 1; }
};

struct Step {
    Session session;
    mtls::Refusal refusal; // why the step stopped; None when it went through
    QStringList hashLines; // "CACHE: ..." lines of a write that reached the disk
    QString notice;        // what a save changed beyond the texture hashes, for the status bar
    bool done() const { return !refusal; }
};

// The label over the materials table for a file.
QString caption(const QString& file);

// The status line of a loaded library: how much of a cut file was read, then what its texture
// hashes say; "" when there is nothing to say.
QString statusLine(const mtls::LoadedLibrary& library);

// Opening a library file, the one way every command and the window do it: read it whole,
// refuse it past the size budget, decode it and, as far as `upTo` asks, lay it out and teach
// `catalogue` (needed for Teach) what the load meets. "Cannot open file : ...", "Cannot read
// file : ...", the budget's refusal or "Invalid File" refuse it, and then nothing is taught.
enum class Opening { Decode, LayOut, Teach };
struct OpenedLibrary {
    QByteArray data;
    std::optional<mtls::Block> block;
    std::optional<mtls::LoadedLibrary> library; // from LayOut on; its records taught on Teach
    mtls::Refusal refusal;
};
OpenedLibrary openLibrary(const QString& path, Opening upTo, ShaderCatalogue* catalogue = nullptr);
OpenedLibrary openBytes(const QByteArray& data, Opening upTo, ShaderCatalogue* catalogue = nullptr);

// Opening a library into the window: openLibrary, then the state that shows it.
// "Cannot open file : ...", "Cannot read file : ..." or "Invalid File" refuse it.
Step loadFile(const Session& before, const QString& path, ShaderCatalogue& catalogue);
Step loadBytes(const Session& before, const QByteArray& data, const QString& path,
               ShaderCatalogue& catalogue);

// The working write: the state's tables as a library with preview options, stored at `path`
// (kept in memory only when it is empty). Anything but a whole library written comes back
// with its refusal, and then no file is touched.
mtls::WriteResult writeWorkingFile(const Session& state, const QString& path,
                                   const ShaderCatalogue& catalogue);

// Adding a material through the dialog: it takes the pending swap row or a new row, the
// working write (preview options) goes to `workingPath` (kept in memory when empty) and
// its reload teaches the catalogue. A refused or failed write changes nothing.
Step addMaterial(const Session& before, const QString& name, const QString& shader,
                 const QString& workingPath, ShaderCatalogue& catalogue);
// The same through the MODIFY button of `row`.
Step replaceMaterial(const Session& before, int row, const QString& name, const QString& shader,
                     const QString& workingPath, ShaderCatalogue& catalogue);

// A cell of the materials table typed by the user (base layout column). A "SubMtls #" cell
// takes only a whole number from 0 to 65535; any other text is refused with the reason.
Step editCell(const Session& before, int row, int column, const mtls::Cell& text);

// Removes `rows` (any order, repeats ignored) and numbers the rest again.
Step deleteRows(const Session& before, const QVector<int>& rows);

// What a save would say against `row`, or an empty name or shader; "" when nothing.
QString rowProblem(const Session& state, int row, const ShaderCatalogue& catalogue);

// What opening one library teaches the catalogue, as the editor's load does (a library it
// would refuse teaches nothing): how many shaders and parameter names were new.
struct Learnt {
    int shaders = 0;
    int names = 0;
    mtls::Refusal refusal;
};
Learnt learnFile(const QString& path, ShaderCatalogue& catalogue);

// The materials a model file asks for; the message says why there are none to take.
struct ModelPlan {
    QVector<PlannedMaterial> materials;
    mtls::Refusal refusal; // Io "Cannot open file : ..." or NotLibrary "Invalid File"
    bool damaged = false;  // the model ends or points outside itself before its last chunk
};
ModelPlan readModelPlan(const QString& path);

// One add per planned material, in order. Stops at the first material that cannot be
// written, with the state built up to it and that material's message. The adds after the
// first are taken in one write of the library where that gives the same state, catalogue and
// working file, so an import costs in proportion to its materials.
Step importModel(const Session& before, const QVector<PlannedMaterial>& plan,
                 const QString& workingPath, ShaderCatalogue& catalogue);

// Saving as `path` with that path's texture hashes, all or nothing. The state stays as it
// was; the editor then opens the saved file (loadFile). A library saved as it was loaded gets
// a notice when the save changed more than its texture hashes.
Step saveLibrary(const Session& before, const QString& path, const ShaderCatalogue& catalogue);

} // namespace authoring
