// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_app.hpp"

#include "app/device_file.hpp"
#include "app/hex_file_io.hpp"
#include "app/port_name.hpp"
#include "app/qt_serial_port.hpp"
#include "app/restored_settings.hpp"
#include "app/serial_ports.hpp"
#include "app/settings_store.hpp"
#include "buffer/text_rules.hpp"
#include "cli/chip_operation.hpp"
#include "cli/config_command.hpp"
#include "cli/model_listing.hpp"
#include "options/option_rules.hpp"
#include "tessaline_version.hpp"
#include "texts/identify_texts.hpp"
#include "texts/operation_texts.hpp"
#include "texts/trace_texts.hpp"
#include "texts/unit_texts.hpp"

#include <QFileInfo>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>

namespace tessaline {

namespace {

constexpr const char* kUsage =
    "Usage: tessaline-cli [--devices FILE] [--model NAME|N] COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  models            list the models of the device file\n"
    "  models --verbose  print each model as understood: sizes, erased configuration\n"
    "                    values, every script word decoded, with their lines; report\n"
    "                    script errors as FILE:LINE\n"
    "  ports             list the serial ports and the port numbers 1-8 that lead to\n"
    "                    them (through a comN link in the settings folder, or ttyS)\n"
    "  check FILE        load a HEX file and print the load report or its first fault;\n"
    "                    a file without an end-of-file record fails (see --allow-no-eof)\n"
    "  convert IN OUT    load IN and save the buffer to OUT as Save Buffer As writes it\n"
    "  config IN         print the configuration bytes of IN with their settings by name\n"
    "  config IN OUT NAME=OPTION...\n"
    "                    set those settings (any letter case), save to OUT as convert\n"
    "                    does and print the new configuration; OUT of the form\n"
    "                    NAME=OPTION, or a setting given two options, is refused\n"
    "  program FILE      erase the chip and program it with FILE\n"
    "  verify FILE       compare the chip with FILE\n"
    "  read FILE         read the chip and save what was read to FILE\n"
    "  erase             erase the chip\n"
    "  blank             check that the chip is blank\n"
    "  identify          read the chip's device ID and print the model it belongs to,\n"
    "                    or the ID itself when the device file does not know it\n"
    "  detect            ask the unit, powered down, whether it is a reference unit; print\n"
    "                    \"reference unit, firmware N\" or \"original unit\" and store that\n"
    "                    as the port's unit type\n"
    "  unit-report       print what a reference unit reports: firmware, calibration, VPP\n"
    "                    and VDD measured while powered down, jumpers, status\n"
    "  calibrate MILLIVOLTS\n"
    "                    store the ADC reference of a reference unit, as measured at\n"
    "                    AREF, in millivolts (1000 to 1200)\n"
    "\n"
    "Options (an empty value is refused):\n"
    "  --devices FILE    device file to read (default: devices.cfg beside the program)\n"
    "  --model NAME|N    model by name (any letter case) or 1-based number\n"
    "                    (default: the model selected in the settings)\n"
    "  --port DEVICE|N   serial device (a bare name such as ttyUSB0 is looked for in\n"
    "                    /dev), or port number 1-255 as the window maps it\n"
    "                    (default: the port in the settings)\n"
    "  --baud B          baud rate (default: the rate in the settings)\n"
    "  --progtime MS     programming time, 1 to 30 ms (default: the model's)\n"
    "  --trace FILE      write every byte to and from the unit to FILE, one line each\n"
    "  --no-verify       program without reading back what was written\n"
    "  --allow-no-eof    let check, convert and config take a file without an end-of-file\n"
    "                    record (program still refuses one)\n"
    "  --unit-delay MS   after opening the port, wait MS milliseconds (0 to 10000) and\n"
    "                    discard what arrives: for a unit that resets when its port opens\n"
    "                    (default: the delay in the settings, else 0)\n"
    "  --unit TYPE       the unit on the port for this run: original or reference\n"
    "                    (default: the port's unit type in the settings, else original)\n"
    "  --fast-baud B     the rate of a reference unit's fast mode: 250000, 500000,\n"
    "                    1000000 or 2000000 (default: the port's fast rate in the\n"
    "                    settings, else 1000000; 500000 for an adapter that cannot do 1 M)\n"
    "  --no-fast         run a reference unit reply-paced, one command a reply\n"
    "  --help            show this text\n"
    "  --version         show the program's version\n"
    "\n"
    "Exit status: 0 done; 1 a file has a fault (a HEX file, the model's record), the chip\n"
    "is not blank or does not verify; 2 usage error, or a file that cannot be read or\n"
    "written; 3 the port cannot be opened or fails, the unit stops answering, a\n"
    "reference unit refuses, or fast mode's link fails; 4 the chip in the socket is not\n"
    "the selected model, or no chip answers;\n"
    "129, 130, 143 stopped by SIGHUP, SIGINT or SIGTERM (the unit is powered down first).\n"
    "Failures are reported on standard error.\n";

struct Options {
    std::string devicesFile;
    std::string model;
    bool haveModel = false;
    std::string port;
    bool havePort = false;
    std::string baud;
    std::string progTime;
    std::string traceFile;
    std::string unitDelay;
    std::string unit;
    std::string fastBaud;
    bool noFast = false;
    bool verbose = false;
    bool noVerify = false;
    bool allowNoEof = false;
    std::vector<std::string> words;
};

// Where the value of an option that takes one goes; nothing for any other argument.
std::string* optionValue(Options& options, const std::string& arg) {
    const std::pair<const char*, std::string Options::*> valued[] = {
        {"--devices", &Options::devicesFile},
        {"--model", &Options::model},
        {"--port", &Options::port},
        {"--baud", &Options::baud},
        {"--progtime", &Options::progTime},
        {"--trace", &Options::traceFile},
        {"--unit-delay", &Options::unitDelay},
        {"--unit", &Options::unit},
        {"--fast-baud", &Options::fastBaud},
    };
    for (const auto& [name, member] : valued)
        if (arg == name)
            return &(options.*member);
    return nullptr;
}

// The switch that an option without a value sets; nothing for any other argument.
bool* optionSwitch(Options& options, const std::string& arg) {
    const std::pair<const char*, bool Options::*> switches[] = {
        {"--verbose", &Options::verbose},
        {"--no-verify", &Options::noVerify},
        {"--no-fast", &Options::noFast},
        {"--allow-no-eof", &Options::allowNoEof},
    };
    for (const auto& [name, member] : switches)
        if (arg == name)
            return &(options.*member);
    return nullptr;
}

struct ChipCommand {
    const char* name;
    OperationKind kind;
    bool takesFile;
};

constexpr ChipCommand kChipCommands[] = {
    {"program", OperationKind::Program, true}, {"verify", OperationKind::Verify, true},
    {"read", OperationKind::Read, true},       {"erase", OperationKind::Erase, false},
    {"blank", OperationKind::Blank, false},    {"identify", OperationKind::Identify, false},
};

// Why a file cannot be written there, or empty: its folder must exist and take files, and
// the name must not be a folder or a file that this user may not write.
std::string unwritableFileProblem(const std::string& path) {
    const QFileInfo target(QString::fromStdString(path));
    if (target.exists() && !target.isFile())
        return "Not a file";
    if (target.exists() && !target.isWritable())
        return "Permission denied";
    const QFileInfo folder(target.absolutePath());
    if (!folder.exists())
        return "No such file or directory";
    if (!folder.isDir())
        return "Not a directory";
    if (!folder.isWritable())
        return "Permission denied";
    return {};
}

// A port number as --port gives it: digits, perhaps signed; nothing for a device name. A
// number too long to hold counts as far out of range.
std::optional<std::int64_t> portNumberText(const std::string& text) {
    const std::size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const std::string digits = text.substr(sign);
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size());
    const std::int64_t value =
        digits.size() - first > 9 ? 1'000'000'000 : std::stoll("0" + digits.substr(first));
    return sign && text[0] == '-' ? -value : value;
}

class Tool {
public:
    Tool(const CliEnvironment& environment, std::ostream& out, std::ostream& err)
        : m_environment(environment), m_out(out), m_err(err), m_terminal(environment.terminal) {}

    int run(const std::vector<std::string>& args) {
        Options options;
        if (!parse(args, options))
            return m_helpShown ? kExitOk : kExitUsage;
        if (options.words.empty())
            return usageError("no command given");
        const std::string& command = options.words.front();
        const std::size_t operands = options.words.size() - 1;
        if (command == "models" && operands == 0)
            return loadTable(options) ? listModels(options.verbose) : m_loadStatus;
        if (command == "ports" && operands == 0)
            return listPorts();
        if (command == "check" && operands == 1)
            return loadSizedModel(options) ? check(options.words[1], options.allowNoEof)
                                           : m_loadStatus;
        if (command == "convert" && operands == 2)
            return loadSizedModel(options)
                       ? convert(options.words[1], options.words[2], options.allowNoEof)
                       : m_loadStatus;
        // "config IN OSC=HS WDT=ON" would write a file named OSC=HS and drop that change.
        if (command == "config" && operands >= 2 && hasSettingForm(options.words[2]))
            return usageError("'" + options.words[2] +
                              "' stands where the output file goes: config IN OUT NAME=OPTION... "
                              "(a file of that name: ./" +
                              options.words[2] + "); nothing was written");
        if (command == "config" && operands != 0 && operands != 2)
            return loadSizedModel(options)
                       ? runConfigCommand({options.words.begin() + 1, options.words.end()}, m_state,
                                          m_out, m_err, options.allowNoEof)
                       : m_loadStatus;
        for (const ChipCommand& chip : kChipCommands) {
            if (command != chip.name)
                continue;
            if (operands != (chip.takesFile ? 1u : 0u))
                break;
            if (!loadModel(options))
                return m_loadStatus;
            return chipOperation(chip, options, chip.takesFile ? options.words[1] : "");
        }
        if (command == "detect" && operands == 0)
            return loadModel(options) ? detect(options) : m_loadStatus;
        if (command == "unit-report" && operands == 0)
            return unitReport(options);
        if (command == "calibrate" && operands == 1)
            return calibrate(options, options.words[1]);
        if (command == "models" || command == "ports" || command == "check" ||
            command == "convert" || command == "config" || command == "detect" ||
            command == "unit-report" || command == "calibrate" ||
            std::any_of(std::begin(kChipCommands), std::end(kChipCommands),
                        [&](const ChipCommand& chip) { return command == chip.name; }))
            return usageError("wrong number of arguments for '" + command + "'");
        return usageError("unknown command '" + command + "'");
    }

private:
    int usageError(const std::string& message) {
        m_err << "tessaline-cli: " << message << "\n\n" << kUsage;
        return kExitUsage;
    }

    bool parse(const std::vector<std::string>& args, Options& options) {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "--help" || arg == "-h") {
                m_out << kUsage;
                m_helpShown = true;
                return false;
            }
            if (arg == "--version") {
                m_out << "tessaline-cli " << kVersion << '\n';
                m_helpShown = true;
                return false;
            }
            if (bool* on = optionSwitch(options, arg)) {
                *on = true;
                continue;
            }
            if (std::string* value = optionValue(options, arg)) {
                if (i + 1 >= args.size()) {
                    usageError("option " + arg + " needs a value");
                    return false;
                }
                *value = args[++i];
                // An empty value would quietly stand for the default.
                if (value->empty()) {
                    usageError("option " + arg + " has an empty value");
                    return false;
                }
                options.haveModel = options.haveModel || arg == "--model";
                options.havePort = options.havePort || arg == "--port";
            } else if (arg.size() > 1 && arg.front() == '-') {
                usageError("unknown option '" + arg + "'");
                return false;
            } else {
                options.words.push_back(arg);
            }
        }
        return true;
    }

    bool loadTable(const Options& options) {
        DeviceFile file = options.devicesFile.empty() ? findDeviceFile(m_environment.programFolder)
                                                      : readDeviceFile(options.devicesFile);
        switch (file.status) {
        case DeviceFile::Status::Loaded:
            m_state.setDeviceTable(std::move(file.table));
            return true;
        case DeviceFile::Status::Missing:
            m_err << "tessaline-cli: cannot find the device file at " << file.path << " or at "
                  << file.sharedPath << "\n";
            m_loadStatus = kExitUsage;
            return false;
        case DeviceFile::Status::Unreadable:
            m_err << "tessaline-cli: cannot open the device file " << file.path << ": "
                  << file.reason << "\n";
            m_loadStatus = kExitUsage;
            return false;
        case DeviceFile::Status::NoModel:
            m_err << "tessaline-cli: the device file " << file.path << " describes no model\n";
            m_loadStatus = kExitFault;
            return false;
        }
        return false;
    }

    // The remembered options, for what the tool's options leave open. The tool only
    // reads the store: it never writes the defaults back, as the window's start does.
    const RestoredSettings& remembered() {
        if (!m_remembered)
            m_remembered = restoreSettings(m_environment.settings,
                                           static_cast<std::int32_t>(m_state.deviceTable.size()),
                                           {}, StoreRepair::LeaveAlone);
        return *m_remembered;
    }

    std::optional<std::int32_t> findModel(const Options& options) {
        const auto count = static_cast<std::int32_t>(m_state.deviceTable.size());
        if (!options.haveModel)
            return remembered().model;
        const std::string wanted = toUpperAscii(options.model);
        for (std::int32_t i = 0; i < count; ++i)
            if (toUpperAscii(m_state.deviceTable[static_cast<std::size_t>(i)].model) == wanted)
                return i + 1;
        const bool allDigits =
            !options.model.empty() && std::all_of(options.model.begin(), options.model.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
        if (allDigits) {
            if (const auto chosen = modelEntry(options.model, count);
                chosen.verdict == EntryVerdict::Take)
                return chosen.value;
        }
        m_err << "tessaline-cli: no model '" << options.model
              << "' in the device file (see 'tessaline-cli models')\n";
        m_loadStatus = kExitUsage;
        return std::nullopt;
    }

    bool loadModel(const Options& options) {
        if (!loadTable(options))
            return false;
        const auto index = findModel(options);
        if (!index)
            return false;
        m_state.app.SelectedModel = *index;
        ApplySelectedModel(m_state.selectedRecord(), m_state.model);
        m_state.resetBuffer();
        return true;
    }

    // The model, for the commands that load a HEX file into its buffer: a record whose
    // sizes are faulty would give the file a buffer of the wrong size.
    bool loadSizedModel(const Options& options) {
        if (!loadModel(options))
            return false;
        if (!m_state.model.SizeError)
            return true;
        m_err << *m_state.model.SizeError << "\n";
        m_loadStatus = kExitFault;
        return false;
    }

    int listModels(bool verbose) {
        if (verbose) {
            std::vector<std::string> problems;
            for (std::size_t i = 0; i < m_state.deviceTable.size(); ++i) {
                if (i > 0)
                    m_out << '\n';
                for (std::string& problem :
                     listModel(m_out, static_cast<std::int32_t>(i + 1), m_state.deviceTable[i]))
                    problems.push_back(std::move(problem));
            }
            for (const std::string& problem : problems)
                m_err << problem << '\n';
            return problems.empty() ? kExitOk : kExitFault;
        }
        for (std::size_t i = 0; i < m_state.deviceTable.size(); ++i) {
            SelectedModelValues values;
            ApplySelectedModel(m_state.deviceTable[i], values);
            m_out << (i + 1) << ' ' << values.SelectedModelName << ' ' << values.FlashSize << ' '
                  << values.EepromSize << '\n';
        }
        return kExitOk;
    }

    // The system's serial ports, then which port numbers lead where; nothing at all on a
    // machine without serial ports.
    int listPorts() {
        const std::vector<SerialPortEntry> ports = systemSerialPorts();
        const QString folder =
            m_environment.settings ? m_environment.settings->folder() : QString();
        m_out << portListText(ports) << portMapText(portNumberMap(folder, ports));
        return kExitOk;
    }

    // Loads a file as the window does; prints the report or the fault.
    int load(const std::string& path) {
        m_lastLoad = loadHexFile(path, m_state);
        const HexLoadOutcome& outcome = m_lastLoad;
        switch (outcome.status) {
        case HexLoadOutcome::Status::Loaded:
            m_out << outcome.message << '\n';
            return kExitOk;
        case HexLoadOutcome::Status::Faulty:
            m_err << outcome.message << '\n';
            return kExitFault;
        case HexLoadOutcome::Status::Unreadable:
            break;
        }
        m_err << "tessaline-cli: cannot read " << path << ": " << outcome.message << '\n';
        return kExitUsage;
    }

    // A file cut short before its end-of-file record loads without a fault; the report
    // would hide that, so the file fails unless the user allows it.
    int check(const std::string& path, bool allowNoEof) {
        const int status = load(path);
        if (status != kExitOk || m_lastLoad.endOfFileRecord)
            return status;
        m_err << "tessaline-cli: warning: " << path
              << " has no end-of-file record: it may be cut short, and 'program' will refuse "
                 "it\n";
        return allowNoEof ? kExitOk : kExitFault;
    }

    int convert(const std::string& input, const std::string& output, bool allowNoEof) {
        const int status = load(input);
        if (status != kExitOk)
            return status;
        // The written file would end with the record and pass for complete.
        if (!m_lastLoad.endOfFileRecord && !allowNoEof) {
            m_err << "tessaline-cli: " << input
                  << " has no end-of-file record and may be cut short; nothing was written "
                     "(--allow-no-eof writes it anyway)\n";
            return kExitFault;
        }
        const HexSaveOutcome saved = saveHexFile(output, m_state.buffer);
        if (!saved.saved) {
            m_err << "tessaline-cli: cannot write " << output << ": " << saved.error << '\n';
            return kExitUsage;
        }
        return kExitOk;
    }

    // The device behind --port: a path as it stands, a number from 1 to 255 mapped as the
    // window maps it. Nothing, after a usage error, for a number outside.
    std::optional<std::string> serialDevice(const Options& options) {
        std::int64_t number = 0;
        if (options.havePort) {
            const std::optional<std::int64_t> given = portNumberText(options.port);
            if (!given)
                return options.port;
            number = *given;
        } else {
            number = remembered().portNumber;
        }
        if (number < QtSerialPort::kFirstPortNumber || number > QtSerialPort::kLastPortNumber) {
            usageError("there is no port number " +
                       (options.havePort ? options.port + ""
                                         : std::to_string(number) + " (from the settings)") +
                       ": port numbers run from 1 to 255");
            return std::nullopt;
        }
        const QString folder =
            m_environment.settings ? m_environment.settings->folder() : QString();
        return serialDeviceForPort(static_cast<int>(number), folder).toStdString();
    }

    // The link to the unit as the options and the settings give it: the port's device,
    // its start-up delay and unit type, and the trace.
    struct UnitLink {
        ChipLink link;
        std::ofstream traceFile;
        std::optional<TraceWriter> trace;
        // What the port's own settings are stored under.
        std::string settingDevice;
    };
    // The options of the link, checked before any file is read; false after a usage
    // error.
    bool linkOptionsRight(const Options& options) {
        if (!options.baud.empty() && !serialSettingsForBaud(options.baud)) {
            usageError("the baud rate must be a number from 1 to 4000000");
            return false;
        }
        if (unitDelayEntry(options.unitDelay).verdict == EntryVerdict::Wrong) {
            usageError("the unit start-up delay must be a whole number of milliseconds from 0 "
                       "to 10000");
            return false;
        }
        if (!options.unit.empty() && !unitTypeEntry(options.unit)) {
            usageError("the unit type must be original or reference");
            return false;
        }
        if (!options.fastBaud.empty() && fastBaudEntry(options.fastBaud).value_or(0) == 0) {
            usageError("the fast baud rate must be 250000, 500000, 1000000 or 2000000");
            return false;
        }
        return true;
    }
    // The device, the unit type, the rate and the trace; an exit status other than kExitOk
    // when one of them cannot be had. The reference unit's own commands go to no unit of
    // another type.
    int unitLink(const Options& options, const char* command, UnitLink& unit,
                 bool referenceOnly = false) {
        ChipLink& link = unit.link;
        const OptionEntry<std::int32_t> unitDelay = unitDelayEntry(options.unitDelay);
        const std::optional<CommandSet> unitType = unitTypeEntry(options.unit);
        const std::optional<std::string> device = serialDevice(options);
        if (!device)
            return kExitUsage;
        link.device = *device;
        unit.settingDevice = portSettingDevice(QString::fromStdString(*device));
        link.unitType = unitType ? *unitType
                                 : restoreUnitType(m_environment.settings, unit.settingDevice,
                                                   StoreRepair::LeaveAlone);
        if (referenceOnly && link.unitType != CommandSet::Reference) {
            usageError(std::string(command) +
                       " is for a reference unit only, and the unit type of " + link.device +
                       " is original: run 'tessaline-cli --port P detect' first, or give "
                       "--unit reference");
            return kExitUsage;
        }
        link.verifyAfterProgram = !options.noVerify;
        link.fastBaud = options.noFast ? 0
                        : !options.fastBaud.empty()
                            ? *fastBaudEntry(options.fastBaud)
                            : restoreFastBaud(m_environment.settings, unit.settingDevice,
                                              StoreRepair::LeaveAlone);
        link.unitDelayMs =
            unitDelay.verdict == EntryVerdict::Take ? unitDelay.value : remembered().unitDelayMs;
        const std::string baud = options.baud.empty() ? remembered().baudRate : options.baud;
        const std::optional<SerialSettings> serial = serialSettingsForBaud(baud);
        if (!serial) {
            m_err << "tessaline-cli: the baud rate '" << baud << "' is not usable\n";
            return kExitPort;
        }
        link.serial = *serial;
        if (!options.traceFile.empty()) {
            unit.traceFile.open(options.traceFile, std::ios::binary | std::ios::trunc);
            if (!unit.traceFile) {
                m_err << "tessaline-cli: cannot write the trace file " << options.traceFile << '\n';
                return kExitUsage;
            }
            unit.traceFile << "# tessaline-cli " << command
                           << ": seconds since the first byte, -> to the unit, <- from the unit\n";
            link.trace = &unit.trace.emplace(unit.traceFile);
        }
        return kExitOk;
    }

    int runOnUnit(OperationKind kind, UnitLink& unit, std::optional<OperationEnd>* end) {
        return runChipOperation(kind, m_state, unit.link, m_out, m_err, m_terminal, end);
    }

    // --progtime, for the model's scripts and the probe's last command.
    bool takeProgTime(const Options& options) {
        const OptionEntry<std::int32_t> progTime = progTimeEntry(options.progTime);
        if (progTime.verdict == EntryVerdict::Wrong) {
            usageError("the programming time must lie from 1 to 30 ms");
            return false;
        }
        if (progTime.verdict == EntryVerdict::Take)
            m_state.model.ProgTime = progTime.value;
        return true;
    }

    int chipOperation(const ChipCommand& chip, const Options& options, const std::string& file) {
        if (!takeProgTime(options) || !linkOptionsRight(options))
            return kExitUsage;
        // What was read must have a place to go before the chip is touched.
        if (chip.kind == OperationKind::Read) {
            if (const std::string problem = unwritableFileProblem(file); !problem.empty()) {
                m_err << "tessaline-cli: cannot write " << file << ": " << problem << '\n';
                return kExitUsage;
            }
        }
        if (chip.kind == OperationKind::Program || chip.kind == OperationKind::Verify) {
            const int loaded = load(file);
            if (loaded != kExitOk)
                return loaded;
            // An empty or cut-off file would erase the chip for nothing, or program part
            // of a program.
            if (chip.kind == OperationKind::Program && m_lastLoad.dataRecords == 0) {
                m_err << "tessaline-cli: " << file
                      << " holds no data record; the chip was not touched\n";
                return kExitFault;
            }
            if (chip.kind == OperationKind::Program && !m_lastLoad.endOfFileRecord) {
                m_err << "tessaline-cli: " << file
                      << " has no end-of-file record and may be cut short; the chip was not "
                         "touched\n";
                return kExitFault;
            }
        }
        UnitLink unit;
        if (const int status = unitLink(options, chip.name, unit); status != kExitOk)
            return status;
        std::optional<OperationEnd> end;
        const int status = runOnUnit(chip.kind, unit, &end);
        if (chip.kind == OperationKind::Identify && status == kExitOk && end && end->deviceId)
            return printIdentified(*end->deviceId);
        // Only a read that ran to its end writes its file: a stopped, refused or failed one
        // holds no chip's contents.
        if (status == kExitOk) {
            if (chip.kind == OperationKind::Read) {
                const HexSaveOutcome saved = saveHexFile(file, m_state.buffer);
                if (!saved.saved) {
                    m_err << "tessaline-cli: cannot write " << file << ": " << saved.error << '\n';
                    return kExitUsage;
                }
            }
        }
        return status;
    }

    // Probes the unit and stores the type found as the port's: the one setting that the
    // tool writes.
    int detect(const Options& options) {
        if (!takeProgTime(options) || !linkOptionsRight(options))
            return kExitUsage;
        UnitLink unit;
        if (const int status = unitLink(options, "detect", unit); status != kExitOk)
            return status;
        std::optional<OperationEnd> end;
        const int status = runOnUnit(OperationKind::DetectUnit, unit, &end);
        if (status != kExitOk || !end || !end->unitType)
            return status;
        m_out << detectedUnitText(*end) << '\n';
        if (m_environment.settings)
            m_environment.settings->WriteSetting(unitTypeSettingName(unit.settingDevice),
                                                 unitTypeText(*end->unitType));
        return kExitOk;
    }

    int unitReport(const Options& options) {
        if (!linkOptionsRight(options))
            return kExitUsage;
        UnitLink unit;
        if (const int status = unitLink(options, "unit-report", unit, true); status != kExitOk)
            return status;
        std::optional<OperationEnd> end;
        const int status = runOnUnit(OperationKind::UnitReport, unit, &end);
        if (status == kExitOk && end && end->report)
            m_out << unitReportText(*end->report);
        return status;
    }

    int calibrate(const Options& options, const std::string& millivolts) {
        const bool digits = !millivolts.empty() && millivolts.size() <= 5 &&
                            std::all_of(millivolts.begin(), millivolts.end(),
                                        [](char c) { return c >= '0' && c <= '9'; });
        const int value = digits ? std::stoi(millivolts) : 0;
        if (value < kCalibrationMinMillivolts || value > kCalibrationMaxMillivolts)
            return usageError("the calibration must be a whole number of millivolts from " +
                              std::to_string(kCalibrationMinMillivolts) + " to " +
                              std::to_string(kCalibrationMaxMillivolts));
        if (!linkOptionsRight(options))
            return kExitUsage;
        UnitLink unit;
        if (const int status = unitLink(options, "calibrate", unit, true); status != kExitOk)
            return status;
        unit.link.calibrationMillivolts = static_cast<std::uint16_t>(value);
        return runOnUnit(OperationKind::Calibrate, unit, nullptr);
    }

    // The one result of identify: the model the device ID belongs to, or the ID itself
    // written as every refusal writes it; no chip is a failure.
    int printIdentified(std::uint16_t id) {
        const ChipIdentity chip = identifyChip(m_state.modelIdentities, id, m_state.model);
        if (chip.noChip()) {
            m_err << noChipText(chip) << '\n';
            return kExitWrongDevice;
        }
        m_out << (chip.model ? chip.modelName : deviceIdText(chip)) << '\n';
        return kExitOk;
    }

    const CliEnvironment& m_environment;
    std::ostream& m_out;
    std::ostream& m_err;
    ProgrammerState m_state;
    HexLoadOutcome m_lastLoad;
    bool m_helpShown = false;
    // The exit status when the device file or the model could not be loaded.
    int m_loadStatus = kExitUsage;
    std::optional<RestoredSettings> m_remembered;
    bool m_terminal = false;
};

} // namespace

int runCli(const std::vector<std::string>& args, const CliEnvironment& environment,
           std::ostream& out, std::ostream& err) {
    return Tool(environment, out, err).run(args);
}

} // namespace tessaline
