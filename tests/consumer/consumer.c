/* A downstream program in C99 that uses an installed libvrax: a round trip through every
 * format. Exits 0 when every stream decodes to its input. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vrax.h>

int main(void) {
    char input[100000];
    size_t i;
    unsigned f;
    for (i = 0; i < sizeof input; ++i) input[i] = "the quick brown fox "[i % 20] + (char)(i / 5000);

    for (f = 0; vrax_format_name(f) != NULL; ++f) {
        const char *format = vrax_format_name(f);
        size_t bound = vrax_compress_bound(format, sizeof input);
        char *stream = malloc(bound);
        char *back = malloc(sizeof input);
        size_t n = vrax_compress(format, input, sizeof input, stream, bound, 0);
        size_t m;
        if (vrax_is_error(n)) {
            fprintf(stderr, "%s: %s\n", format, vrax_error_string(n));
            return 1;
        }
        m = vrax_decompress(format, stream, n, back, sizeof input, 2);
        if (vrax_is_error(m) || m != sizeof input || memcmp(back, input, m) != 0) {
            fprintf(stderr, "%s: round trip failed\n", format);
            return 1;
        }
        free(stream);
        free(back);
    }
    printf("libvrax %s: every format round-trips\n", vrax_version_string());
    return 0;
}
