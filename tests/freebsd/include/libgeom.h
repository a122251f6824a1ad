/* Declarations of FreeBSD's GEOM library, written from libgeom(3), so that
 * the FreeBSD branch of the platform layer builds on Linux for the tests,
 * which define the calls it makes as fakes fed from ../geom/ trees. */
#ifndef VORLIX_SHIM_LIBGEOM_H
#define VORLIX_SHIM_LIBGEOM_H
#include <sys/queue.h>
#include <sys/types.h>
#ifdef __cplusplus
extern "C" {
#endif

struct gclass;
struct ggeom;
struct gconsumer;
struct gprovider;

LIST_HEAD(gconf, gconfig);

struct gident {
    void *lg_id;
    void *lg_ptr;
    enum { ISCLASS, ISGEOM, ISPROVIDER, ISCONSUMER } lg_what;
};

struct gmesh {
    LIST_HEAD(, gclass) lg_class;
    struct gident *lg_ident;
};

struct gconfig {
    LIST_ENTRY(gconfig) lg_config;
    char *lg_name;
    char *lg_val;
};

struct gclass {
    void *lg_id;
    char *lg_name;
    LIST_ENTRY(gclass) lg_class;
    LIST_HEAD(, ggeom) lg_geom;
    struct gconf lg_config;
};

struct ggeom {
    void *lg_id;
    struct gclass *lg_class;
    char *lg_name;
    u_int lg_rank;
    LIST_ENTRY(ggeom) lg_geom;
    LIST_HEAD(, gconsumer) lg_consumer;
    LIST_HEAD(, gprovider) lg_provider;
    struct gconf lg_config;
};

struct gconsumer {
    void *lg_id;
    struct ggeom *lg_geom;
    LIST_ENTRY(gconsumer) lg_consumer;
    struct gprovider *lg_provider;
    LIST_ENTRY(gconsumer) lg_consumers;
    char *lg_mode; /* "r1w1e1" */
    struct gconf lg_config;
};

struct gprovider {
    void *lg_id;
    char *lg_name; /* without "/dev/": "da0s1", "gpt/BACKUP" */
    struct ggeom *lg_geom;
    LIST_ENTRY(gprovider) lg_provider;
    LIST_HEAD(, gconsumer) lg_consumers;
    char *lg_mode;
    off_t lg_mediasize;
    u_int lg_sectorsize;
    off_t lg_stripeoffset;
    off_t lg_stripesize;
    struct gconf lg_config;
};

char *geom_getxml(void);
int geom_xml2tree(struct gmesh *gmp, char *p);
int geom_gettree(struct gmesh *gmp);
void geom_deletetree(struct gmesh *gmp);
struct gident *geom_lookupid(struct gmesh *gmp, const void *id);

int g_open(const char *name, int dowrite);
int g_close(int fd);
off_t g_mediasize(int fd);
ssize_t g_sectorsize(int fd);
char *g_providername(int fd);
char *g_device_path(const char *devpath);
int g_get_ident(int fd, char *ident, size_t size);
int g_get_name(const char *ident, char *name, size_t size);

#ifdef __cplusplus
}
#endif
#endif
