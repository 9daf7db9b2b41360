#include "DialogPreview.h"

#include "LanguageTable.h"
#include "SizeTexts.h"

#include <QImageReader>
#include <QLabel>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QVBoxLayout>

namespace {

enum class Kind { Image, Text, Other };

Kind KindOf(const QMimeType& type)
{
    static const QList<QByteArray> images = QImageReader::supportedMimeTypes();
    for (const QByteArray& image : images)
        if (type.inherits(QString::fromLatin1(image)))
            return Kind::Image;
    if (type.inherits(QStringLiteral("text/plain")))
        return Kind::Text;
    return Kind::Other;
}

// Text as UTF-8 when it is that (a character cut by the end of what was
// read is dropped), else as Latin-1.
QString DecodeText(const std::string& bytes, bool cut)
{
    for (size_t drop = 0; drop <= (cut ? 3u : 0u) && drop <= bytes.size(); ++drop) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size() - drop)));
        if (!utf8.hasError())
            return text;
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

CDialogPreview::CDialogPreview(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(GetQText(53));
    setModal(false);
    resize(520, 460);
    m_pHeading = new QLabel(this);
    m_pHeading->setTextFormat(Qt::PlainText);
    m_pHeading->setWordWrap(true);
    QFont bold = m_pHeading->font();
    bold.setBold(true);
    m_pHeading->setFont(bold);
    m_pNote = new QLabel(this);
    m_pNote->setTextFormat(Qt::PlainText);
    m_pNote->setWordWrap(true);
    m_pPages = new QStackedWidget(this);
    m_pImageView = new QLabel(m_pPages);
    m_pImageView->setAlignment(Qt::AlignCenter);
    m_pImageView->setMinimumSize(64, 64);
    m_pImageView->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_pTextView = new QPlainTextEdit(m_pPages);
    m_pTextView->setReadOnly(true);
    m_pTextView->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pDetails = new QLabel(m_pPages);
    m_pDetails->setTextFormat(Qt::PlainText);
    m_pDetails->setAlignment(Qt::AlignCenter);
    m_pDetails->setWordWrap(true);
    m_pPages->addWidget(m_pImageView);
    m_pPages->addWidget(m_pTextView);
    m_pPages->addWidget(m_pDetails);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pHeading);
    layout->addWidget(m_pNote);
    layout->addWidget(m_pPages, 1);
    m_Reader = std::thread(&CDialogPreview::ReadLoop, this);
    ShowNothing();
}

CDialogPreview::~CDialogPreview()
{
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        m_Quit = true;
        CancelLocked();
    }
    m_Wake.notify_all();
    m_Reader.join();
}

void CDialogPreview::CancelLocked()
{
    m_pPending.reset();
    if (m_pReading)
        m_pReading->store(true);
}

QString CDialogPreview::Heading() const
{
    return m_pHeading->text();
}

QString CDialogPreview::Note() const
{
    return m_pNote->text();
}

QString CDialogPreview::Text() const
{
    return m_Showing == Showing::Text ? m_pTextView->toPlainText() : m_pDetails->text();
}

bool CDialogPreview::Busy() const
{
    std::lock_guard<std::mutex> hold(m_Lock);
    return m_Reading || m_pPending;
}

void CDialogPreview::ShowNothing()
{
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        ++m_LastId;
        CancelLocked();
    }
    m_File = CZelFoundEntry();
    m_Image = QImage();
    m_Showing = Showing::Nothing;
    m_pHeading->clear();
    m_pNote->clear();
    m_pDetails->setText(GetQText(63));
    m_pPages->setCurrentWidget(m_pDetails);
    emit Shown();
}

void CDialogPreview::ShowFile(const CZelFoundEntry& file)
{
    // The same file chosen again (the list narrowed around it): it stays.
    if (file.entry && file.entry == m_File.entry && m_Showing != Showing::Nothing)
        return;
    m_File = file;
    m_Image = QImage();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(file.name), QMimeDatabase::MatchExtension);
    m_Type = type.comment().isEmpty() ? type.name() : type.comment();
    m_pHeading->setText(QString::fromStdString(file.name) + QStringLiteral(" \u2014 ") + ZelFileSizeText(file.size));
    m_pNote->clear();
    const Kind kind = KindOf(type);
    if (kind == Kind::Other || (kind == Kind::Image && file.size > kImageLimit)) {
        {
            std::lock_guard<std::mutex> hold(m_Lock);
            ++m_LastId;
            CancelLocked();
        }
        ShowDetails(kind == Kind::Image ? GetQText(57).arg(ZelFileSizeText(file.size), ZelFileSizeText(kImageLimit))
                                        : QString());
        emit Shown();
        return;
    }
    auto request = std::make_unique<Request>();
    request->file = file;
    request->image = kind == Kind::Image;
    request->limit = request->image ? kImageLimit : kTextLimit;
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        request->id = ++m_LastId;
        CancelLocked();
        m_pPending = std::move(request);
    }
    m_Wake.notify_all();
    m_Showing = Showing::Reading;
    m_pDetails->setText(GetQText(61));
    m_pPages->setCurrentWidget(m_pDetails);
}

void CDialogPreview::ReadLoop()
{
    std::unique_lock<std::mutex> hold(m_Lock);
    for (;;) {
        m_Wake.wait(hold, [this] { return m_Quit || m_pPending; });
        if (m_Quit)
            return;
        std::unique_ptr<Request> request = std::move(m_pPending);
        m_Reading = true;
        m_pReading = request->cancel;
        hold.unlock();
        auto data = std::make_shared<const CZelPreviewData>(
            ZelReadForPreview(request->file, request->limit, request->cancel.get()));
        const uint64_t id = request->id;
        const bool image = request->image;
        request.reset();
        // Shown on the window's thread; dropped there when the window is
        // gone or a newer file was asked for meanwhile.
        QMetaObject::invokeMethod(
            this, [this, id, image, data] { Deliver(id, image, *data); }, Qt::QueuedConnection);
        hold.lock();
        m_Reading = false;
        m_pReading.reset();
    }
}

void CDialogPreview::Deliver(uint64_t id, bool image, const CZelPreviewData& data)
{
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        if (id != m_LastId)
            return;
    }
    QString note;
    if (data.result == ZelRestoreResult::Partial)
        note = GetQText(58).arg(QString::fromStdString(data.reason));
    if (data.result == ZelRestoreResult::Failed) {
        ShowDetails(GetQText(59).arg(QString::fromStdString(data.reason)));
        emit Shown();
        return;
    }
    if (image) {
        m_Image = QImage::fromData(reinterpret_cast<const uchar*>(data.bytes.data()),
                                   static_cast<int>(data.bytes.size()));
        if (m_Image.isNull()) {
            // Bytes no decoder takes: what is known of the file instead.
            ShowDetails(note);
        } else {
            m_pNote->setText(note);
            m_Showing = Showing::Image;
            m_pPages->setCurrentWidget(m_pImageView);
            ScaleImage();
        }
    } else {
        const bool cut = !data.whole;
        if (cut)
            note += (note.isEmpty() ? QString() : QStringLiteral(" ")) + GetQText(62).arg(ZelFileSizeText(kTextLimit));
        m_pNote->setText(note);
        m_pTextView->setPlainText(DecodeText(data.bytes, cut));
        m_Showing = Showing::Text;
        m_pPages->setCurrentWidget(m_pTextView);
    }
    emit Shown();
}

void CDialogPreview::ShowDetails(const QString& note)
{
    m_Showing = Showing::Details;
    QString state = note;
    // A file that would not come back whole says so here too.
    if (state.isEmpty() && m_File.estimate >= 0 && m_File.estimate < 100)
        state = GetQText(58).arg(QString());
    m_pNote->setText(state.trimmed());
    m_pDetails->setText(GetQText(60).arg(m_Type, ZelFileSizeText(m_File.size)));
    m_pPages->setCurrentWidget(m_pDetails);
}

void CDialogPreview::ScaleImage()
{
    if (m_Image.isNull() || m_Showing != Showing::Image)
        return;
    const QSize room = m_pImageView->size();
    QPixmap picture = QPixmap::fromImage(m_Image);
    // Small pictures keep their size; large ones fit the pane.
    if (picture.width() > room.width() || picture.height() > room.height())
        picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_pImageView->setPixmap(picture);
}

void CDialogPreview::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ScaleImage();
}
