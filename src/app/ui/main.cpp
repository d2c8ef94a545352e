#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle("KEL-VOR(V1.34)");
    w.show();
    return app.exec();
}
