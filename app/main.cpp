#include "CCorvaneApp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    CCorvaneApp corvane;
    if (!corvane.claimSingleInstance())
        return 0;
    return corvane.run();
}
