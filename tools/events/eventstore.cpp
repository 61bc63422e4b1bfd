#include "eventstore.h"

#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/eventdb.h"

#include <QSet>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Whether a stored flag means annual: -1, or no value, as the reminder reads it; 0 is a
// one-off event; anything else was written by another tool and means nothing certain.
std::optional<bool> annualFlag(const QVariant &flag)
{
    if (flag.isNull())
        return true;
    if (flag.typeId() != QMetaType::LongLong)
        return std::nullopt;
    const qint64 value = flag.toLongLong();
    if (value != -1 && value != 0)
        return std::nullopt;
    return value == -1;
}

// What tells events apart: the stored date, the flag and the description. The date text has a
// fixed width, so the parts cannot run into each other.
QString eventKey(const QString &storedDate, bool annual, const QString &description)
{
    return storedDate + (annual ? u'A' : u'O') + description;
}

QString shown(const QVariant &value)
{
    return value.isNull() ? u"(none)"_s : value.toString();
}

} // namespace

StoredEvents ReadStoredEvents(Database &db)
{
    StoredEvents out;
    // Read in the table's own order and sorted here: walking the date index would look up
    // each row's flag in the table at random, which costs more than the sort.
    const auto rows = db.OpenRecordset(u"SELECT EventDate, Description, RepeatFlag FROM Events"_s);
    for (; !rows->EOF_(); rows->MoveNext()) {
        const QVariant date = rows->Fields(0).Value();
        const QVariant description = rows->Fields(1).Value();
        const QVariant flag = rows->Fields(2).Value();
        const auto value = date.typeId() == QMetaType::QString ? StoredDateValue(date.toString())
                                                               : std::nullopt;
        const auto annual = annualFlag(flag);
        if (!value || !annual) {
            out.skipped << SkippedRow{ shown(date), shown(description), shown(flag),
                                       !value ? u"the date is not in the form Datebell writes"_s
                                              : u"the annual flag is neither -1 nor 0"_s };
            continue;
        }
        out.records << EventRecord{ *value, value->time() != QTime(0, 0), description.toString(),
                                    *annual };
    }
    rows->Close();
    std::stable_sort(out.records.begin(), out.records.end(),
                     [](const EventRecord &a, const EventRecord &b) {
                         if (a.date != b.date)
                             return a.date < b.date;
                         return a.description < b.description;
                     });
    return out;
}

void CheckWritable(Database &db)
{
    if (const QString reason = db.ReadOnlyReason(); !reason.isEmpty())
        throw DatebellError(ErrorNumber::ReadOnly,
                            u"'%1' cannot be written, because %2. Nothing was imported."_s.arg(
                                    db.Name(), reason));
    // A damaged file is not written to; the message says whether a backup copy is there.
    db.QuickCheck(db.Name() + u".bak"_s);
}

ImportOutcome ImportEvents(Database &db, const QList<EventRecord> &records, bool dryRun)
{
    // Started before the table is read, so that no other program adds an event between the
    // look for duplicates and the additions.
    std::optional<Transaction> transaction;
    if (!dryRun)
        transaction.emplace(db);

    QSet<QString> present;
    {
        const auto rows =
                db.OpenRecordset(u"SELECT EventDate, Description, RepeatFlag FROM Events"_s);
        for (; !rows->EOF_(); rows->MoveNext()) {
            const auto annual = annualFlag(rows->Fields(2).Value());
            if (annual)
                present.insert(eventKey(rows->Fields(0).Value().toString(), *annual,
                                        rows->Fields(1).Value().toString()));
        }
        rows->Close();
    }

    ImportOutcome outcome;
    std::unique_ptr<Recordset> table;
    if (!dryRun)
        table = db.OpenRecordset(u"SELECT * FROM Events WHERE 0"_s);
    for (const EventRecord &record : records) {
        const QString key =
                eventKey(StoredDateText(record.date), record.annual, record.description);
        if (present.contains(key)) {
            ++outcome.duplicates;
            continue;
        }
        present.insert(key);
        outcome.added << record;
        if (!table)
            continue;
        table->AddNew();
        table->Fields(u"EventDate"_s).setValue(record.date);
        table->Fields(u"Description"_s).setValue(record.description);
        table->Fields(u"RepeatFlag"_s).setValue(record.annual);
        table->Update();
    }
    if (table)
        table->Close();
    if (transaction)
        transaction->commit();
    return outcome;
}
