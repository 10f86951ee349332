// The umbrella initialiser: brings up every standard module of the library.
#pragma once

// Runs, once, the initialisers of all modules in their first-run order.
// The string helper module calls it through the pointer registered by
// ovRegisterStandardModules.
void ovInitStandardModules();

// Hands ovInitStandardModules to the string helper module.
void ovRegisterStandardModules();
