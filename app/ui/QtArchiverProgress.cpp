#include "app/ui/QtArchiverProgress.h"

#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "app/ui/MessageBoxes.h"
#include "disposal/Compression.h"

namespace vask {

namespace {

class PackingDialog : public QDialog {
  public:
    explicit PackingDialog(QWidget* parent) : QDialog(parent) {
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        setWindowModality(Qt::ApplicationModal);
        setWindowTitle(QString::fromUtf8(kPackingTitle));
        auto* text = new QLabel(QString::fromUtf8(kPackingText), this);
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 0);  // the archiver tells nothing of its progress: a busy bar
        bar->setTextVisible(false);
        bar->setMinimumWidth(360);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(text);
        layout->addWidget(bar);
        layout->setSizeConstraint(QLayout::SetFixedSize);
    }

    // Nothing to cancel: the window goes when the archiver has finished.
    void reject() override {}

  protected:
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

}  // namespace

class QtArchiverProgress::Library : public ArchiverLibrary {
  public:
    Library(QtArchiverProgress& owner, std::unique_ptr<ArchiverLibrary> inner)
        : owner_(owner), inner_(std::move(inner)) {}

    int GetRunning() override { return inner_->GetRunning(); }

    int Run(const std::string& commandLine, std::string& output) override {
        PackingDialog window(ShownParent(owner_.parent_.data()));
        owner_.window_ = &window;
        window.show();

        QEventLoop loop;
        std::atomic<bool> done{false};
        int result = 0;
        std::string text;
        // The worker touches only the library and its own results; the window thread reads them after
        // join. The quit is queued to the loop, so it is not lost when it comes before exec starts.
        std::thread worker([&] {
            result = inner_->Run(commandLine, text);
            done = true;
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        if (!done) loop.exec();
        worker.join();

        owner_.window_ = nullptr;
        window.hide();
        output = std::move(text);
        return result;
    }

  private:
    QtArchiverProgress& owner_;
    std::unique_ptr<ArchiverLibrary> inner_;
};

QtArchiverProgress::QtArchiverProgress(ArchiverLoader& inner, QWidget* parent)
    : inner_(inner), parent_(parent) {}

std::unique_ptr<ArchiverLibrary> QtArchiverProgress::Load() {
    std::unique_ptr<ArchiverLibrary> library = inner_.Load();
    if (!library) return nullptr;
    return std::make_unique<Library>(*this, std::move(library));
}

}  // namespace vask
