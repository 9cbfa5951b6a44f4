#include "UserPresetStore.h"

#include <QSettings>

namespace korvo::UserPresetStore {

namespace {

// A stored text, or false when the value is missing or not a single text (a
// hand-edited value with an unquoted comma reads back as a list).
bool storedString(const QVariant& value, QString* text)
{
    if (value.type() != QVariant::String)
        return false;
    *text = value.toString();
    return true;
}

} // namespace

QList<PackageOrder> readOrders(QSettings* store)
{
    QList<PackageOrder> orders;
    if (!store)
        return orders;
    const int count = qBound(0, store->beginReadArray(QStringLiteral("orders")), MaxEntries);
    for (int i = 0; i < count; ++i) {
        store->setArrayIndex(i);
        QString name;
        QString sizeText;
        if (!storedString(store->value(QStringLiteral("name")), &name)
            || !storedString(store->value(QStringLiteral("size")), &sizeText))
            continue;
        bool ok = false;
        const qint64 size = sizeText.toLongLong(&ok, 10);
        if (ok && size >= 0 && size <= MaxOrderSize)
            orders.append(PackageOrder(size, name));
    }
    store->endArray();
    return store->status() == QSettings::NoError ? orders : QList<PackageOrder>();
}

void writeOrders(QSettings* store, const QList<PackageOrder>& orders)
{
    if (!store)
        return;
    store->remove(QStringLiteral("orders"));
    store->beginWriteArray(QStringLiteral("orders"), orders.size());
    for (int i = 0; i < orders.size(); ++i) {
        store->setArrayIndex(i);
        store->setValue(QStringLiteral("name"), orders.at(i).name);
        store->setValue(QStringLiteral("size"), QString::number(orders.at(i).size));
    }
    store->endArray();
    store->sync(); // a read-only folder leaves the file as it was, silently
}

QStringList readLabels(QSettings* store)
{
    QStringList labels;
    if (!store)
        return labels;
    const int count = qBound(0, store->beginReadArray(QStringLiteral("labels")), MaxEntries);
    for (int i = 0; i < count; ++i) {
        store->setArrayIndex(i);
        QString label;
        if (storedString(store->value(QStringLiteral("name")), &label) && !label.isEmpty() && !labels.contains(label))
            labels.append(label);
    }
    store->endArray();
    return store->status() == QSettings::NoError ? labels : QStringList();
}

void writeLabels(QSettings* store, const QStringList& labels)
{
    if (!store)
        return;
    store->remove(QStringLiteral("labels"));
    store->beginWriteArray(QStringLiteral("labels"), labels.size());
    for (int i = 0; i < labels.size(); ++i) {
        store->setArrayIndex(i);
        store->setValue(QStringLiteral("name"), labels.at(i));
    }
    store->endArray();
    store->sync();
}

} // namespace korvo::UserPresetStore
