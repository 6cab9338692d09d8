// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/buffer_editors.hpp"

#include "ui/dialogs.hpp"
#include "ui/edit_entry.hpp"
#include "ui/operations.hpp"
#include "ui/window_view.hpp"

namespace tessaline {

namespace {

// Asks for a byte value; nothing on Cancel, -1 after telling the user it is refused.
std::int32_t askByteValue(Dialogs& dialogs) {
    const std::int32_t value = readHexEntry(dialogs.inputBox(kValuePrompt, ""), 2);
    if (value == kEntryCancelled)
        return kEntryCancelled;
    if (value < 0 || value > 255) {
        dialogs.message(kOutOfRange);
        return -1;
    }
    return value;
}

} // namespace

BufferEditors::BufferEditors(ProgrammerState& state, Dialogs& dialogs, WindowView& window,
                             const WindowOperations& operations)
    : m_state(state), m_dialogs(dialogs), m_window(window), m_operations(operations) {}

void BufferEditors::menueditflash_Click() {
    const std::int32_t flashSize = m_state.buffer.FlashSize;
    const std::int32_t address =
        readHexEntry(m_dialogs.inputBox(flashAddressPrompt(flashSize), ""), 6);
    if (address == kEntryCancelled)
        return;
    if (address < 0 || address > flashSize - 1 ||
        static_cast<std::size_t>(address) >= m_state.buffer.Flash.size()) {
        m_dialogs.message(kOutOfRange);
        return;
    }
    const std::int32_t value = askByteValue(m_dialogs);
    if (value < 0)
        return;
    m_state.buffer.Flash[static_cast<std::size_t>(address)] = static_cast<std::uint8_t>(value);
    m_window.updatedisplay();
    m_window.setLoadedFile("");
}

void BufferEditors::menuediteeprom_Click() {
    const std::int32_t eepromSize = m_state.buffer.EepromSize;
    if (eepromSize <= 0) {
        m_dialogs.message(kNoEeprom);
        return;
    }
    const std::int32_t address =
        readHexEntry(m_dialogs.inputBox(eepromAddressPrompt(eepromSize), ""), 2);
    if (address == kEntryCancelled)
        return;
    if (address < 0 || address > eepromSize - 1) {
        m_dialogs.message(kOutOfRange);
        return;
    }
    const std::int32_t value = askByteValue(m_dialogs);
    if (value < 0)
        return;
    m_state.buffer.Eeprom[static_cast<std::size_t>(address)] = static_cast<std::uint8_t>(value);
    m_window.updatedisplay();
    m_window.setLoadedFile("");
}

void BufferEditors::editConfigByte(std::size_t index) {
    // An edit while an operation runs would change the buffer under Program All or Verify.
    if (m_operations.running())
        return;
    const std::int32_t value = askByteValue(m_dialogs);
    if (value < 0)
        return;
    m_state.buffer.Config[index] = value;
    m_window.updatedisplay();
    m_window.setLoadedFile("");
}

} // namespace tessaline
