// A baseline for window start-up timings: the cheapest Qt Widgets main window
// of the same shape as the reminder window with a full list (a few menus over
// an empty 492 x 381 client area, fixed size). Esc closes it and the process
// exits 0, so a benchmark can drive it exactly as it drives datebell.

#include <QApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Minimal Window"));

    QMenu *file = window.menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("E&xit"), &window, &QWidget::close);
    QMenu *edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("&Edit Events"));
    QMenu *help = window.menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&Help"));
    help->addSeparator();
    help->addAction(QStringLiteral("&About"));

    auto *client = new QWidget(&window);
    client->setFixedSize(492, 381);
    window.setCentralWidget(client);
    window.setFixedSize(492, 381 + window.menuBar()->sizeHint().height());

    auto *esc = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
    QObject::connect(esc, &QShortcut::activated, &window, &QWidget::close);

    window.show();
    return app.exec();
}
