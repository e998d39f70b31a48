-- Patients, assessments, exercise plans and the exercise catalogue (SQLite).
-- Date-times are text 'yyyy-MM-dd HH:mm:ss.zzz' (milliseconds always written), so
-- equality finds a row exactly; the CHECKs keep any other writer to that form.

CREATE TABLE PACIENTE (
    CDFILIAL     varchar(4)  NOT NULL,
    CDPACIENTE   varchar(12) NOT NULL,
    NMPACIENTE   varchar(80),
    DTNASCPACI   text        NULL
        CHECK (DTNASCPACI IS NULL OR DTNASCPACI GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]'),
    PRIMARY KEY (CDFILIAL, CDPACIENTE)
);

CREATE TABLE EXERFISICO (
    CDEXERFISICO varchar(6)   NOT NULL PRIMARY KEY,
    DSEXERFISICO varchar(100),
    QTENERCONS   double precision,
    CDEDICAO     varchar(4)
);

CREATE TABLE METOAVAL (
    CDFILIAL     varchar(4)  NOT NULL,
    CDPACIENTE   varchar(12) NOT NULL,
    DTCONSPACI   text        NOT NULL
        CHECK (DTCONSPACI GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]'),
    CDTBMETOAVAL varchar(2)  NOT NULL,
    IDTABELAAV   varchar(1),
    PRIMARY KEY (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL)
);

CREATE TABLE INFOAVAL (
    CDFILIAL     varchar(4)  NOT NULL,
    CDPACIENTE   varchar(12) NOT NULL,
    DTCONSPACI   text        NOT NULL,
    CDTBMETOAVAL varchar(2)  NOT NULL,
    CDTIPODADO   varchar(2)  NOT NULL,
    DSINFOAVAL   varchar(30),
    PRIMARY KEY (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL, CDTIPODADO),
    FOREIGN KEY (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL)
        REFERENCES METOAVAL (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL)
);

CREATE TABLE PLAEXERFISI (
    CDFILIAL     varchar(4)  NOT NULL,
    CDPACIENTE   varchar(12) NOT NULL,
    DTCONSPACI   text        NOT NULL
        CHECK (DTCONSPACI GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9].[0-9][0-9][0-9]'),
    CDEXERFISICO varchar(6)  NOT NULL,
    QTHREXERFISI double precision,
    QTENERCONSPL double precision,
    PRIMARY KEY (CDFILIAL, CDPACIENTE, DTCONSPACI, CDEXERFISICO),
    FOREIGN KEY (CDFILIAL, CDPACIENTE) REFERENCES PACIENTE (CDFILIAL, CDPACIENTE),
    FOREIGN KEY (CDEXERFISICO) REFERENCES EXERFISICO (CDEXERFISICO)
);

-- The foreign keys are checked on every write and delete of the parents.
CREATE INDEX PLAEXERFISI_EXERFISICO ON PLAEXERFISI (CDEXERFISICO);
