#pragma once

#include "DirectoryNode.h"
#include "MoveTexts.h"
#include "Package.h"
#include "PackageMoveJob.h"
#include "PackageMoveWorker.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

namespace korvo {



// One move of the packaging dialog's checked packages, from its start to
// its report: it runs the move job on its worker, takes each moved package
// out of the tree while the worker waits, keeps the status lines, counts
// and failures, offers to undo an interrupted move that refuses it, and
// ends on the summary. It has no widget: the dialog shows its status and
// progress, and its boxes go through a Presenter (message boxes in the
// dialog; a test records them and plays a scripted move through the public
// step functions).
//
// Threads: the session lives on the GUI thread; the worker's steps arrive
// as queued signals. A report box is shown only while no package is
// moving: after a package has ended and before the worker is let go on
// with the next one, or once the move is over. Nested event loops of the
// boxes therefore never deliver a later package's steps, so every report
// lands on its own package's line and the summary is complete when shown.
class PackageMoveSession : public QObject
{
    Q_OBJECT
public:
    // How the session speaks to the user.
    struct Presenter
    {
        std::function<void(const QString& title, const QString& text)> inform;
        std::function<void(const QString& title, const QString& text)> warn;
        std::function<bool(const QString& title, const QString& text)> ask; // yes or no
    };

    // What the job told at its end.
    struct JobEnd
    {
        PackageMoveJob::Outcome outcome = PackageMoveJob::Finished;
        QString errorString;
        int numberBase = -1;
        bool interrupted = false;    // journals of interrupted moves refused it
        bool journalRefused = false; // a journal broke a rule: never offered for undoing
        bool undoFailed = false;
        static JobEnd of(PackageMoveJob::Outcome outcome, const PackageMoveJob& job);
    };

    PackageMoveSession(const DirectoryNodePtr& root, const QList<PackagePtr>& packages, const Presenter& presenter,
                       QObject* parent = nullptr);
    // Stops a running move after its current package and waits for it.
    ~PackageMoveSession() override;

    // Starts the job on its worker, which pauses after each package until
    // the session has taken it out of the tree.
    void start(const PackageMoveRequest& request);
    // What start() does before the worker: the request, its counts and the
    // base folder text of the lines (a scripted move starts here).
    void prepare(const PackageMoveRequest& request);
    bool isRunning() const { return worker_ != nullptr; }
    // The current package finishes or is undone; no other starts.
    void requestStop();
    // While held (a question of the dialog is open), the move's end waits.
    void holdEnd(bool hold);
    // The dialog closes: an interrupted move is not offered for undoing.
    void setClosing(bool closing) { closing_ = closing; }

    // The steps of the move as the worker tells them; a test plays them.
    void packageStarted(const PackageMoveResult& result);
    void itemsMoved(int index, int done, int total);
    void imageStarted(const PackageMoveResult& result);
    void packageEnded(const PackageMoveResult& result);
    void interruptedUndone(bool allUndone, const QString& lines);
    void jobEnded(const JobEnd& end);

    // Every status line of the move, the last one shown.
    const QStringList& log() const { return log_; }
    // The base folder text of the move's lines.
    const QString& baseFolderText() const { return baseFolderText_; }
    // The number base the move used, once it has ended (-1: none found).
    int numberBase() const { return numberBase_; }

signals:
    void statusChanged(const QString& status, const QStringList& log);
    void progressChanged(int packagesStarted, int packagesChosen, qint64 itemsDone, qint64 itemsChosen);
    void listingStarted(const QString& listingText);
    void listingProgress(qreal percent);
    void listingEnded(bool written);
    // The package at `index` has moved and left the tree.
    void packageMoved(int index);
    // The move is over; `refused`: nothing moved, an interrupted move or a
    // journal is in the way.
    void ended(bool refused);

private:
    void setStatus(const QString& line);
    void appendToStatus(const QString& report);
    void showProgress(int packagesStarted, int itemsDone);
    void recordFailure(const PackageMoveResult& result);
    void recordMoved(const PackageMoveResult& result);
    // The report of a package's listing, after its line.
    void onExportFinished(bool isSucceeded, const QString& path, const QString& errorString);
    void reportImage(const PackageMoveResult& result);
    void endRefused(const JobEnd& end);
    void finish();
    void letWorkerGoOn();

    DirectoryNodePtr root_;
    QList<PackagePtr> packages_;
    Presenter presenter_;
    PackageMoveRequest request_;
    QPointer<PackageMoveWorker> worker_;
    QStringList log_;
    // What the move has done so far.
    int packagesChosen_ = 0;
    int packagesEnded_ = 0;
    qint64 itemsChosen_ = 0;
    qint64 itemsEnded_ = 0;
    MoveTexts::Summary summary_;
    QStringList failureLines_; // every failed package's line, for the summary's box
    QString baseFolderText_;
    int numberBase_ = -1;
    bool closing_ = false;
    bool held_ = false;
    bool endPending_ = false;
    JobEnd pendingEnd_;
};

} // namespace korvo
