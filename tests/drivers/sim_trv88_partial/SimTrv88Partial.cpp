// The simulated PCI card driver without its "TRV88DecryptFinal" entry point: the engine must
// refuse the whole module, for encryption too.
#define SIM_TRV88_WITHOUT_DECRYPT_FINAL
#include "../sim_trv88/SimTrv88.cpp"
