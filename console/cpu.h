// API calls' charges to the CPU budget. The rest of the budget (slices,
// governor, cycle marks) is the run engine's (console/run.h).
#pragma once

// 2 x max(n, 1) cycles to the system counter and the VM's slice; n < 0 nothing.
// The VM calls it through zibo6_vm (vm/llimits.h).
void spend_cpu(int n);
// The same at one cycle per unit.
void spend_cpu_8MHz(int n);
