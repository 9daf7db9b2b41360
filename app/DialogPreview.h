// The preview window: the found file the main window's list has chosen, read
// through the engine into memory (nothing is written to any disk) on a
// thread of its own, and shown as an image, as text, or as its type and
// size. A file that would not come back whole says so.
#pragma once

#include "jexrecovery/ZelPreviewRead.h"
#include "jexrecovery/ZelRecoveryScan.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

class CDialogPreview : public QDialog {
    Q_OBJECT
public:
    // Images are read whole up to this size, text files only so far.
    static constexpr uint64_t kImageLimit = 64ull << 20;
    static constexpr uint64_t kTextLimit = 64ull << 10;

    enum class Showing { Nothing, Reading, Image, Text, Details };

    explicit CDialogPreview(QWidget* parent);
    // Waits for a read under way.
    ~CDialogPreview() override;

    // Shows file, reading it first where its kind needs its bytes.
    void ShowFile(const CZelFoundEntry& file);
    // No single file is chosen.
    void ShowNothing();

    Showing What() const { return m_Showing; }
    // The line above the preview: name, and whether the file comes back
    // whole.
    QString Heading() const;
    QString Note() const;
    const QImage& Image() const { return m_Image; }
    QString Text() const;
    // A read is under way.
    bool Busy() const;

signals:
    // A preview was shown (or found impossible) for the file last asked.
    void Shown();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Request {
        uint64_t id = 0;
        CZelFoundEntry file;
        uint64_t limit = 0;
        bool image = false;
        // Set when the file is no longer wanted: its read ends.
        std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
    };
    // Drops the waiting request and ends the read under way; with the lock
    // held.
    void CancelLocked();
    void ReadLoop();
    void Deliver(uint64_t id, bool image, const CZelPreviewData& data);
    void ShowDetails(const QString& note);
    void ScaleImage();

    QLabel* m_pHeading = nullptr;
    QLabel* m_pNote = nullptr;
    QStackedWidget* m_pPages = nullptr;
    QLabel* m_pImageView = nullptr;
    QPlainTextEdit* m_pTextView = nullptr;
    QLabel* m_pDetails = nullptr;

    Showing m_Showing = Showing::Nothing;
    QImage m_Image;
    CZelFoundEntry m_File;
    QString m_Type;

    // The reader: one request waits at a time, the newest.
    mutable std::mutex m_Lock;
    std::condition_variable m_Wake;
    std::unique_ptr<Request> m_pPending;
    std::shared_ptr<std::atomic<bool>> m_pReading;
    bool m_Reading = false;
    bool m_Quit = false;
    uint64_t m_LastId = 0;
    std::thread m_Reader;
};
