/* UK coupon plug-in: EAN/UPC data starting "99" laid out with its value in
 * pounds and pence. */
#ifndef KESTREL_UKCOUPON_H
#define KESTREL_UKCOUPON_H

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the coupon's layout into text and returns 0; returns 1 and leaves
 * text alone when data is not a UK coupon. */
int UKform(unsigned char *text, const unsigned char *data);

#ifdef __cplusplus
}
#endif

#endif
