// Fuzz target for register sheet files: any bytes read as a file into a
// sheet that already holds data. Beyond the sanitizers it checks that
// - only a file whose first line is the tag is taken, and a refused one
//   leaves the sheet as it was;
// - every row keeps a data type and a byte order its list offers;
// - what the loaded sheet writes reads back to the very same text.
// The input is shaped: its first byte decides whether the tag comes first,
// and bytes 0x80..0x87 stand for the characters that structure a file.
#include "base/ProgramDir.h"
#include "modbus/RegisterSheet.h"
#include "modbus/SheetFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune;
using namespace kestrune::modbus;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

RegisterSheet filledSheet() {
    RegisterSheet sheet;
    sheet.setAutoRegister(true);
    sheet.setFirstText(QStringLiteral("100"));
    sheet.setCountText(QStringLiteral("4"));
    sheet.setRegisterData(QByteArray::fromHex("4120000001020304"), 100);
    sheet.chooseType(0, 6);
    sheet.chooseType(1, 2);
    sheet.chooseOrder(1, 3);
    sheet.setDescription(2, QStringLiteral("kept"));
    return sheet;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The support library is loaded from the build folder.
    [[maybe_unused]] static const bool once = (setProgramDir(KESTRUNE_BINARY_DIR), true);
    if (size < 1)
        return 0;
    static const char structure[] = {',', '\r', '\n', '"', '0', '1', ' ', '9'};
    QByteArray text = (data[0] & 1) ? QByteArray("WizardModbus\r\n") : QByteArray();
    for (size_t i = 1; i < size; ++i)
        text += (data[i] >= 0x80 && data[i] < 0x88) ? structure[data[i] - 0x80] : char(data[i]);

    RegisterSheet sheet = filledSheet();
    const QByteArray before = sheetFileText(sheet);
    const SheetLoad load = applySheetFile(text, sheet);
    if (!load.accepted) {
        check(!text.startsWith("WizardModbus\r\n") && !text.startsWith("WizardModbus\n"));
        check(sheetFileText(sheet) == before);
        return 0;
    }
    for (int row = 0; row < SheetRowCount; ++row) {
        const SheetRow& r = sheet.row(row);
        check(registerCount(r.type) > 0);
        check(r.order >= 0 && r.order < byteOrderNames(r.type).size());
    }
    sheet.refresh(); // values from the data, whatever the file set
    const QByteArray written = sheetFileText(sheet);
    RegisterSheet again;
    check(applySheetFile(written, again).accepted);
    check(sheetFileText(again) == written);
    return 0;
}
