// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/hex_file_io.hpp"

#include "buffer/hex_reader.hpp"
#include "buffer/hex_writer.hpp"
#include "buffer/text_file.hpp"
#include "texts/load_texts.hpp"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <system_error>

namespace tessaline {

HexLoadOutcome loadHexFile(const std::string& path, ProgrammerState& state) {
    state.resetBuffer();
    state.buffer.LoadedFlashTop = 0;
    HexLineReader reader(state.buffer);
    const std::string unreadable =
        readTextFileLines(path, [&reader](std::string_view line) { return reader.readLine(line); });
    const HexReadResult result = reader.result();
    if (!unreadable.empty() || !result.ok())
        state.resetBuffer();
    if (!unreadable.empty())
        return {HexLoadOutcome::Status::Unreadable, unreadable};
    if (!result.ok())
        return {HexLoadOutcome::Status::Faulty, hexLoadErrorMessage(result)};
    return {HexLoadOutcome::Status::Loaded, loadReport(state.buffer.LoadedFlashTop),
            result.dataRecords, result.endOfFileRecord};
}

HexSaveOutcome saveHexFile(const std::string& path, const ProgramBuffer& buffer) {
    const std::string text = writeHexText(buffer);
    const QString name = QString::fromStdString(path);
    // A write-protected file stays as it is, although its folder would let a new file
    // take its place.
    const QFileInfo existing(name);
    if (existing.exists() && (!existing.isFile() || !existing.isWritable()))
        return {false, existing.isFile() ? "Permission denied" : "Not a file"};
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString().toStdString()};
    // The flush makes a disk that fills up show here, before commit() could put a cut
    // file in the old one's place. A write or flush cut short by a full disk (or the size
    // limit) leaves QFile without the reason; the system's own is then in errno.
    errno = 0;
    bool written = file.write(text.data(), static_cast<qint64>(text.size())) ==
                   static_cast<qint64>(text.size());
    if (written)
        written = file.flush();
    if (!written) {
        const int systemError = errno;
        const std::string reason =
            systemError != 0 ? std::error_code(systemError, std::generic_category()).message()
                             : file.errorString().toStdString();
        file.cancelWriting();
        return {false, reason};
    }
    if (!file.commit())
        return {false, file.errorString().toStdString()};
    return {true, {}};
}

} // namespace tessaline
