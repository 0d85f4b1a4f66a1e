#pragma once

#include <QString>
#include <QtGlobal>
#include <utility>

// What a check or a step answers: sound, or the reason it is not, in the
// program's words. A fault always carries its reason.
class [[nodiscard]] Outcome
{
public:
    static Outcome Sound() { return Outcome(); }
    static Outcome Fault(QString reason)
    {
        Q_ASSERT(!reason.isEmpty());
        return Outcome(std::move(reason));
    }

    bool IsSound() const { return FSound; }
    // Why it is not sound; empty when it is.
    const QString &Reason() const { return FReason; }

    // The next step runs only while all is sound: its outcome, or this fault.
    template<typename Step> Outcome Then(Step &&step) const
    {
        return FSound ? std::forward<Step>(step)() : *this;
    }

private:
    Outcome() = default;
    explicit Outcome(QString reason)
        : FSound(false)
        , FReason(std::move(reason))
    {
    }

    bool FSound = true;
    QString FReason;
};
