/* Compiled with -msse2 -mfpmath=sse: check-no-sse.sh must reject the library it goes into. */
double scale_sum(const double *values, int count, double factor) {
  double sum = 0;
  for (int i = 0; i < count; ++i) sum += values[i] * factor;
  return sum;
}
