#include "convert/BlockOutput.h"
#include "convert/ExportSource.h"
#include "convert/ReplacingOutput.h"

namespace {

ExportResult failed(Failure failure) { return {ExportStatus::Failed, std::move(failure)}; }

// Writes the opened output and closes both, telling a failed read before a failed write. The
// last check of the progress callback comes once the output is whole, so that a cancel until
// then still keeps a named file's old contents.
ExportResult exportInto(ExportSource& source, BlockOutput& output, const std::string& outputName,
                        const ExportOptions& options, const ConversionProgress& progress) {
    const std::uint64_t total = progress ? source.size() : 0;
    if (!source.write(output, options, progress, total)) {
        source.close();
        output.close();
        return {ExportStatus::Cancelled, {}};
    }
    Failure readFailure = source.close();
    const bool written = output.close();
    if (readFailure.happened()) return failed(std::move(readFailure));
    if (!written)
        return failed(fileFailure(Failure::Kind::WriteOutput, outputName, output.writeError()));
    if (progress && !progress(total, total)) return {ExportStatus::Cancelled, {}};
    return {};
}

}  // namespace

// The output is written beside the named file and takes its place only when whole: a failure
// or a cancel leaves what was there before.
ExportResult exportSourceToText(ExportSource& source, const std::string& inputPath,
                                const ExportOptions& options, const ConversionProgress& progress) {
    if (Failure failure = source.open(inputPath); failure.happened())
        return failed(std::move(failure));
    ReplacingOutput target(options.fileName);
    std::FILE* file = target.open();
    if (file == nullptr) {
        source.close();
        return failed(
            fileFailure(Failure::Kind::CreateOutput, options.fileName, target.openError()));
    }
    BlockOutput output;
    output.open(file);
    ExportResult result = exportInto(source, output, options.fileName, options, progress);
    if (result.status != ExportStatus::Exported) return result;  // the target discards it
    if (!target.commit())
        return failed(
            fileFailure(Failure::Kind::WriteOutput, options.fileName, target.moveFailure()));
    return result;
}

ExportResult exportSourceToStream(ExportSource& source, const std::string& inputPath,
                                  std::FILE* stream, const std::string& streamName,
                                  const ExportOptions& options,
                                  const ConversionProgress& progress) {
    if (Failure failure = source.open(inputPath); failure.happened())
        return failed(std::move(failure));
    BlockOutput output;
    output.attach(stream);
    return exportInto(source, output, streamName, options, progress);
}
