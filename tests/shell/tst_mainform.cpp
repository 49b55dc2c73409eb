#include "testenv.h"
class T : public QObject { Q_OBJECT };
VORNEXA_TEST_MAIN(T)
#include "tst_mainform.moc"
