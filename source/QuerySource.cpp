// STUB: the source query chain arrives with the address discovery work.
#include "service/Main.h"

void TZelvoSvc::QuerySource() {}
void TZelvoSvc::httpSrcSuccess() {}
