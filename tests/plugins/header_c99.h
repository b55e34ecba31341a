/* A function compiled as C99 from the plug-in headers, for the C++ tests. */
#ifdef __cplusplus
extern "C" {
#endif
/* Copies the headers' constants in declaration order; returns their count. */
int header_c99_values(int *values, int count);
#ifdef __cplusplus
}
#endif
