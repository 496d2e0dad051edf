// Program entry: the window program is built up here as the main window arrives.
#include <QApplication>
#include <QMainWindow>
#include <clocale>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("Kelvo 5.0");
    QMainWindow w;
    w.setWindowTitle("Kelvo 5.0");
    w.resize(1000, 700);
    w.show();
    return app.exec();
}
