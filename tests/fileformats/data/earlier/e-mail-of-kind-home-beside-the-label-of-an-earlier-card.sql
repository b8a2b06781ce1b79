INSERT INTO contact VALUES(1,'','Dee Reyes');
INSERT INTO data VALUES(1,1,1,'','Dee Reyes','Dee','Reyes','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,4,1,'','dee@example.org','1','School','','','','','','','','','','','',NULL);
