#include "modbus/RegisterSheet.h"

#include "base/Language.h"
#include "base/TextUtil.h"
#include "zarvek/loader/SupportLibrary.h"

namespace kestrune::modbus {

namespace {

// The reply ends inside a value: "<text> <present>/<needed>".
constexpr int TextValueCut = 1033;

QString boundedEntry(const QString& text, int bound) {
    if (text.isEmpty())
        return text;
    if (!isNumeric(text))
        return QStringLiteral("0");
    // A numeric text is digits with an optional sign and point; its value
    // decides, however many digits it has.
    if (text.trimmed().toDouble() > bound)
        return QString::number(bound);
    return text;
}

} // namespace

// ---- Types, orders, texts -----------------------------------------------------

const QStringList& dataTypeNames() {
    static const QStringList names = {
        QStringLiteral("INT16"),  QStringLiteral("UINT16"), QStringLiteral("INT32"),
        QStringLiteral("UINT32"), QStringLiteral("INT64"),  QStringLiteral("UINT64"),
        QStringLiteral("FLOAT"),  QStringLiteral("DFLOAT"), QStringLiteral("CHAR2"),
        QStringLiteral("CHAR4"),  QStringLiteral("CHAR6"),  QStringLiteral("CHAR8"),
        QStringLiteral("CHAR10"), QStringLiteral("CHAR12"), QStringLiteral("CHAR14"),
        QStringLiteral("CHAR16"),
    };
    return names;
}

QString dataTypeName(int type) {
    return dataTypeNames().value(type);
}

int dataTypeByName(QStringView name) {
    const QStringList& names = dataTypeNames();
    for (int i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return i;
    return -1;
}

int registerCount(int type) {
    static constexpr int counts[DataTypeCount] = {1, 1, 2, 2, 4, 4, 2, 4, 1, 2, 3, 4, 5, 6, 7, 8};
    return type >= 0 && type < DataTypeCount ? counts[type] : 0;
}

QStringList byteOrderNames(int type) {
    switch (type) {
    case 0: // INT16
    case 1: // UINT16
        return {QStringLiteral("AB"), QStringLiteral("BA")};
    case 4: // INT64
    case 5: // UINT64
        return {QStringLiteral("ABCD"), QStringLiteral("DCBA")};
    case 2: // INT32
    case 3: // UINT32
    case 6: // FLOAT
    case 7: // DFLOAT
        return {QStringLiteral("ABCD"), QStringLiteral("DCBA"), QStringLiteral("CDAB"),
                QStringLiteral("BADC")};
    default: // text, and anything else
        return {QStringLiteral("ABCD")};
    }
}

int byteOrderByName(int type, QStringView name) {
    const QStringList names = byteOrderNames(type);
    for (int i = 0; i < names.size(); ++i)
        if (names[i] == name)
            return i;
    return -1;
}

QString sheetByteText(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size() * 5 / 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            text += QLatin1Char(' ');
        text += hexPair(uint8_t(bytes[i]));
    }
    return text;
}

ValueView valueAt(QByteArrayView data, qsizetype offset, int type, int order) {
    ValueView view;
    if (offset < 0 || offset >= data.size())
        return view;
    const qsizetype needed = 2 * qsizetype(registerCount(type));
    const QByteArrayView bytes = data.sliced(offset, std::min(needed, data.size() - offset));
    view.bytes = sheetByteText(bytes);
    if (bytes.isEmpty())
        return view;
    if (bytes.size() < needed) {
        // Never made from bytes the reply does not hold.
        view.note = getText(TextValueCut) + QStringLiteral(" %1/%2").arg(bytes.size()).arg(needed);
        return view;
    }
    QString text;
    QString error;
    if (zarvek::fillString(bytes.toByteArray(), type, order, text, &error))
        view.value = text;
    else
        view.note = error;
    return view;
}

QList<OrderValue> valuesInEveryOrder(QByteArrayView data, qsizetype offset, int type) {
    QList<OrderValue> values;
    const QStringList names = byteOrderNames(type);
    for (int order = 0; order < names.size(); ++order)
        values.append({names[order], valueAt(data, offset, type, order).value});
    return values;
}

QString checkedSlaveAddress(const QString& text) {
    return boundedEntry(text, 255);
}

QString checkedRegister(const QString& text) {
    return boundedEntry(text, 0xFFFF);
}

QString checkedCount(const QString& text) {
    return boundedEntry(text, MaxRegisterCount);
}

// ---- The sheet ------------------------------------------------------------------

RegisterSheet::RegisterSheet() = default;

bool RegisterSheet::setFunctionPosition(int position) {
    if (position != 0 && position != 1)
        return false;
    m_functionPosition = position;
    return true;
}

QString RegisterSheet::setSlaveText(const QString& text) {
    m_slaveText = checkedSlaveAddress(text);
    return m_slaveText;
}

QString RegisterSheet::setFirstText(const QString& text) {
    m_firstText = checkedRegister(text);
    return m_firstText;
}

QString RegisterSheet::setCountText(const QString& text) {
    m_countText = checkedCount(text);
    return m_countText;
}

ReadParameters RegisterSheet::readParameters() const {
    ReadParameters p;
    p.framing = m_framing;
    p.unit = toNumber(m_slaveText);
    p.function = m_functionPosition == 1 ? ReadInputRegisters : ReadHoldingRegisters;
    p.first = toNumber(m_firstText);
    p.count = toNumber(m_countText);
    return p;
}

bool RegisterSheet::chooseType(int row, int type) {
    if (!validRow(row) || registerCount(type) == 0)
        return false;
    m_rows[size_t(row)].type = type;
    resetOrders();
    refresh();
    return true;
}

bool RegisterSheet::chooseOrder(int row, int order) {
    if (!setRowOrder(row, order))
        return false;
    refresh();
    return true;
}

QString RegisterSheet::setRegisterText(int row, const QString& text) {
    if (!validRow(row))
        return text;
    SheetRow& r = m_rows[size_t(row)];
    r.registerText = m_autoRegister ? text : checkedRegister(text);
    return r.registerText;
}

void RegisterSheet::registerEdited(int row) {
    if (!validRow(row))
        return;
    if (m_autoRegister)
        showValues();
    else
        checkRange(row, true);
}

void RegisterSheet::setDescription(int row, const QString& text) {
    if (validRow(row))
        m_rows[size_t(row)].description = text;
}

bool RegisterSheet::setRowType(int row, int type) {
    if (!validRow(row) || registerCount(type) == 0)
        return false;
    m_rows[size_t(row)].type = type;
    m_rows[size_t(row)].order = 0;
    return true;
}

bool RegisterSheet::setRowOrder(int row, int order) {
    if (!validRow(row) || order < 0 || order >= byteOrderNames(m_rows[size_t(row)].type).size())
        return false;
    m_rows[size_t(row)].order = order;
    return true;
}

void RegisterSheet::setByteText(int row, const QString& text) {
    if (validRow(row))
        m_rows[size_t(row)].byteText = text;
}

void RegisterSheet::setValueText(int row, const QString& text) {
    if (!validRow(row))
        return;
    m_rows[size_t(row)].valueText = text;
    m_rows[size_t(row)].note.clear();
}

void RegisterSheet::resetOrders() {
    for (SheetRow& r : m_rows)
        r.order = 0;
}

void RegisterSheet::setRegisterData(const QByteArray& bytes, int64_t firstRegister) {
    m_data = bytes;
    m_dataFirst = firstRegister;
}

void RegisterSheet::clearRegisterData() {
    m_data.clear();
    m_dataFirst = 0;
}

void RegisterSheet::applyReadResult(const ReadResult& result) {
    if (!result.exchanged)
        return;
    clearRegisterData();
    clearOutputs();
    if (!result.registersValid)
        return;
    setRegisterData(result.registers, result.request.first);
    refresh();
}

void RegisterSheet::refresh() {
    if (m_autoRegister) {
        for (SheetRow& r : m_rows)
            r.outOfRange = false;
        if (m_firstText.isEmpty() || m_countText.isEmpty())
            return;
        m_rows[0].registerText = m_firstText;
        for (size_t i = 1; i < m_rows.size(); ++i) {
            const SheetRow& previous = m_rows[i - 1];
            m_rows[i].registerText =
                QString::number(toNumber(previous.registerText) + registerCount(previous.type));
        }
    } else {
        if (m_firstText.isEmpty() || m_countText.isEmpty())
            return;
        for (int row = 0; row < SheetRowCount; ++row)
            checkRange(row, false);
    }
    showValues();
}

void RegisterSheet::checkRange(int row, bool showValuesInside) {
    SheetRow& r = m_rows[size_t(row)];
    const int64_t first = toNumber(m_firstText);
    const int64_t count = toNumber(m_countText);
    const int64_t reg = toNumber(r.registerText);
    if (first <= reg && reg <= first + count - 1) {
        r.outOfRange = false;
        if (showValuesInside)
            showValues();
        return;
    }
    if (r.registerText.isEmpty())
        return;
    r.outOfRange = true;
    r.byteText.clear();
    r.valueText.clear();
    r.note.clear();
}

qsizetype RegisterSheet::dataOffset(int row) const {
    const SheetRow& r = m_rows[size_t(row)];
    if (r.registerText.isEmpty())
        return -1;
    const int64_t offset = (toNumber(r.registerText) - m_dataFirst) * 2;
    if (offset < 0 || offset >= m_data.size())
        return -1;
    return qsizetype(offset);
}

void RegisterSheet::showValues() {
    for (int row = 0; row < SheetRowCount; ++row) {
        SheetRow& r = m_rows[size_t(row)];
        const qsizetype offset = dataOffset(row);
        if (offset < 0) {
            // A row renumbered away from the data must not go on showing
            // the value of the register it had before. Without data the
            // texts are kept (they may come from a sheet file).
            if (!m_data.isEmpty()) {
                r.byteText.clear();
                r.valueText.clear();
                r.note.clear();
            }
            continue;
        }
        const ValueView view = valueAt(m_data, offset, r.type, r.order);
        r.byteText = view.bytes;
        r.valueText = view.value;
        r.note = view.note;
    }
}

void RegisterSheet::clearOutputs() {
    for (SheetRow& r : m_rows) {
        r.byteText.clear();
        r.valueText.clear();
        r.note.clear();
    }
}

void RegisterSheet::clear() {
    clearRegisterData();
    // An empty register box carries no out-of-range mark either.
    for (SheetRow& r : m_rows)
        r = SheetRow{};
}

QList<OrderValue> RegisterSheet::valuesInEveryOrder(int row) const {
    if (!validRow(row))
        return {};
    const int type = m_rows[size_t(row)].type;
    const qsizetype offset = dataOffset(row);
    if (offset < 0) {
        QList<OrderValue> empty;
        for (const QString& name : byteOrderNames(type))
            empty.append({name, QString()});
        return empty;
    }
    return modbus::valuesInEveryOrder(m_data, offset, type);
}

} // namespace kestrune::modbus
